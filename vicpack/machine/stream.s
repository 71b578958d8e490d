; Plays a video stream from the RAM expansion unit (REU) on the C128 in its native mode, then gives BASIC
; back its memory, screen and interrupts.
;
; Loaded at 0x1C01 (RUN), the program checks that the unit holds this stream's image, saves bank 0 into
; the unit's scratch, moves the player up to 0xE000-0xFFFF and clears the frame memory. The machine then
; runs from RAM with I/O at 0xD000 (0xFF00 = 0x3E), the VIC-II seeing RAM everywhere (bit 2 of 0x01): zero
; page and stack are moved up by the MMU, so that physical 0x0000-0xBFFF holds nothing but the frames; the
; audio ring lies at 0xC000-0xCFFF.
;
; The sound is the clock: a CIA 2 timer interrupt sounds one 2-bit sample after another through the SID's
; volume register and counts them. The main loop decodes a frame's commands into the frame memory, then
; waits until the raster interrupt has shown it (at the first border line at or after its due time), then
; decodes the next: a frame may write into the buffer of the frame before it, never into the one on
; screen. Meanwhile it keeps the audio ring full. Each shown frame is recorded in the unit.
        .setcpu "6502"
        .include "registers.inc"
        .include "reu.inc"
        .include "machine_numbers.inc"

; ---- where things lie while the player runs ---------------------------------------------------------------
RING            = AUDIO_RING        ; the audio ring, AUDIO_RING_BYTES long, above the frames' memory
RING_END        = AUDIO_RING + AUDIO_RING_BYTES
        .assert RING >= FRAME_MEMORY_END && <RING = 0 && <RING_END = 0, error, "the ring lies in whole pages above the frames"
TABLES          = $F700             ; the volume register value of each sample place of a byte, a page each
TABLE_PAGES     = 4                 ; 2-bit samples: four to a byte
RAMPS           = TABLES + TABLE_PAGES * $100  ; the ramp page of the program's tables
pbuf            = $FC00             ; the packet being decoded
STACK_PAGE      = $FD               ; physical pages for the stack and zero page; the MMU swaps them with
ZERO_PAGE_PAGE  = $FE               ; pages 1 and 0, so the processor's addresses 0xFD00-0xFEFF are not used

LINE_BOTTOM     = 251               ; the first border line below the picture: 2 MHz from here
LINE_TOP        = 45                ; back to 1 MHz from here, before the picture's first line (51)
AUDIO_PIECES    = 8                 ; pieces of audio a call of audio_service moves at most
HEADS_A_CALL    = 16                ; packet heads the audio cursor reads at most a call
PAD_BYTE        = $AA               ; four samples of the middle level: what plays after the sound
HEAD_WRITTEN    = 13                ; the record's head as record_head writes it (RECORD_HEAD_BYTES in all)
        .assert HEAD_WRITTEN <= RECORD_HEAD_BYTES, error, "the record's head is longer than its place"
        .assert RECORD_ENTRY_BYTES = 6, error, "a frame's entry is its number (16 bits) and its ticks (32 bits)"
IDLE_SPIN       = (IDLE_STEP_CYCLES - 21) / 5  ; an idle step: jsr, ldx, IDLE_SPIN × dex/bne, inc, bne, rts
        .assert IDLE_SPIN * 5 + 21 = IDLE_STEP_CYCLES && IDLE_SPIN < 256, error, "no idle spin takes IDLE_STEP_CYCLES"

        .include "basic_start_c128.inc"

; ---- the settings, filled in by vicpack ---------------------------------------------------------------------
        .segment "SETTINGS"
identity:       .dword 0            ; the stream's identity, in the unit's head and tail too
image_tail:     .faraddr 0          ; where the tail lies in the unit
reu_text:       .res 6              ; the unit's size in KiB as text ending in 0, for the message
value_table:    .faraddr 0          ; the unit's table of the 256 byte values, at a page start
scratch_address: .faraddr 0         ; 256 bytes of the unit's scratch for copies, at a page start
saved_low:      .faraddr 0          ; where bank 0's 0x0000-0xCFFF is saved
saved_high:     .faraddr 0          ; 0xE000-0xFEFF
saved_top:      .faraddr 0          ; 0xFF05-0xFFFF
saved_colours:  .faraddr 0          ; Colour RAM
stream_start:   .faraddr 0          ; the stream's first packet
stream_end:     .faraddr 0          ; the first byte after the stream
record_start:   .faraddr 0          ; the record of the frames shown
period_pal:     .word 0             ; the timer's count between two ticks (less one), PAL
period_ntsc:    .word 0             ; and NTSC
frame_ticks_pal: .word 0            ; ticks per source picture: a frame numbered k is due at (k - 1) times this
frame_ticks_ntsc: .word 0
end_ticks_pal:  .dword 0            ; ticks from the first frame to the end of the sound or the last picture
end_ticks_ntsc: .dword 0
mode_d016:      .byte 0             ; 0x18 multicolour, 0x08 hi-res
border:         .byte 0             ; the border colour, or 0xFF: each frame's background
table_page:     .byte 0             ; the load page of the 6581's four table pages; the 8580's and the ramp page follow
; Per chip model, the 6581 first, then the 8580:
voice1_control: .byte 0, 0
voice1_sustain: .byte 0, 0
routing:        .byte 0, 0

; ---- zero page ------------------------------------------------------------------------------------------------
        .segment "ZEROPAGE"
read_pages:     .res 2              ; pages the sample interrupt's read address has moved on: the bytes it has
                                    ; played are read_pages × 256 + its low byte - 1
written:        .res 2              ; bytes put into the ring (low 16 bits)
wptr:           .res 2              ; where the next audio byte goes into the ring
vcur:           .res 3              ; the video cursor: the next packet head it reads
acur:           .res 3              ; the audio cursor
asrc:           .res 3              ; the next audio byte of the audio packet being read
aleft:          .res 2              ; audio bytes left in it
padding:        .res 1              ; the sound has ended: the ring fills with the middle level
pieces:         .res 1
heads:          .res 1
frame_number:   .res 2
due:            .res 4              ; ticks at which the decoded frame is due
factor:         .res 2
ticks:          .res 4              ; read_ticks' result
tick_bytes:     .res 3
tick_phase:     .res 1
frame_ticks:    .res 2
end_ticks:      .res 4
pending:        .res 1              ; a decoded frame waits for its switch
switched:       .res 1              ; the raster interrupt showed it
switch_ticks:   .res 4              ; ticks when it did
clock_running:  .res 1
record_at:      .res 3
shown:          .res 2              ; frames shown
idle:           .res 4              ; idle steps while waiting for a switch
keys_were_up:   .res 1
ending:         .res 1              ; 1: played to the end, 2: a key ended it
ntsc:           .res 1              ; 0 PAL, 1 NTSC
model:          .res 1              ; 0 the 6581, 1 the 8580
nonzero:        .res 2
delay_count:    .res 1
speed_slow:     .res 1              ; the speed register at 1 MHz
speed_fast:     .res 1              ; and at 2 MHz
speed_now:      .res 1              ; the speed the raster interrupt wants now
temp:           .res 2

        .include "stream_commands.inc"

        .segment "CODE"

; ---- start and end, where BASIC loaded the program ------------------------------------------------------------
        .segment "STARTUP"
        .import __DISPATCH_RUN__, __DISPATCH_LOAD__, __CODE_RUN__, __CODE_SIZE__
        .import __NMI_RUN__, __NMI_LOAD__, __NMI_SIZE__
HIGH_SHIFT      = __DISPATCH_RUN__ - __DISPATCH_LOAD__   ; from a moved label's run address to its load address
HIGH_BYTES      = __CODE_RUN__ + __CODE_SIZE__ - __DISPATCH_RUN__

; A transfer of the unit with BASIC's memory as it is: length bytes between the computer's address host and
; the unit's address held at location (a setting where it was loaded: its label less HIGH_SHIFT) plus offset.
.macro  low_transfer host, location, offset, length, command
        lda #<(host)
        sta REU_HOST
        lda #>(host)
        sta REU_HOST+1
        clc
        lda location
        adc #<(offset)
        sta REU_ADDRESS
        lda location+1
        adc #>(offset)
        sta REU_ADDRESS+1
        lda location+2
        adc #0
        sta REU_ADDRESS+2
        lda #<(length)
        sta REU_LENGTH
        lda #>(length)
        sta REU_LENGTH+1
        lda #command
        sta REU_COMMAND
.endmacro

low_start:
        php
        pla
        sta low_flags               ; the caller's interrupt flag
        tsx
        stx low_stack
        sei
        lda VIC_SPEED               ; 1 MHz from here: a 17xx unit transfers only then (BASIC may run FAST)
        sta low_speed
        and #$FE
        sta VIC_SPEED
        lda #$55                    ; a unit's address registers hold what is written into them
        sta REU_HOST
        lda #$AA
        sta REU_HOST+1
        lda REU_HOST
        cmp #$55
        bne no_unit
        lda REU_HOST+1
        cmp #$AA
        bne no_unit
        lda #0
        sta REU_CONTROL
        low_transfer low_mark, unit_start, 0, REU_STREAM_MARK_BYTES, REU_TO_HOST
        jsr low_mark_matches
        bne wrong_image
        low_transfer low_mark, image_tail - HIGH_SHIFT, 0, REU_STREAM_MARK_BYTES, REU_TO_HOST
        jsr low_mark_matches
        beq low_save
wrong_image:
        ldx #wrong_text - texts
        .byte $2C                   ; (skips the next instruction)
no_unit:
        ldx #no_unit_text - texts
:       lda texts,x                 ; one line with the KERNAL's own output
        beq :+
        jsr CHROUT
        inx
        bne :-
:       ldx #0
:       lda reu_text - HIGH_SHIFT,x
        beq :+
        jsr CHROUT
        inx
        bne :-
:       ldx #kb_text - texts
:       lda texts,x
        beq :+
        jsr CHROUT
        inx
        bne :-
:       lda low_speed
        sta VIC_SPEED
        lda low_flags
        pha
        plp
        rts

; Compares the mark fetched into low_mark with "ZOVR" and the identity; Z set when they match.
low_mark_matches:
        .assert REU_STREAM_MARK_BYTES = 8, error, "the mark is ZOVR and the identity (32 bits)"
        ldx #3
:       lda low_mark,x
        cmp mark_text,x
        bne :+
        lda low_mark+4,x
        cmp identity - HIGH_SHIFT,x
        bne :+
        dex
        bpl :-
        lda #0
:       rts

; Bank 0 into the unit's scratch as the unit sees it (RAM everywhere, bank 0 for the VIC-II and the unit),
; then the player's parts out of the saved copy of this program to where they run.
low_save:
        lda MMU_CR
        sta low_mmu
        lda MMU_RCR
        sta low_rcr
        and #$BF
        sta MMU_RCR
        lda #$3E
        sta MMU_CR
        low_transfer $0000, saved_low - HIGH_SHIFT, 0, $D000, REU_FROM_HOST
        low_transfer $E000, saved_high - HIGH_SHIFT, 0, $1F00, REU_FROM_HOST
        low_transfer $FF05, saved_top - HIGH_SHIFT, 0, $00FB, REU_FROM_HOST
        low_transfer COLOUR_RAM, saved_colours - HIGH_SHIFT, 0, $0400, REU_FROM_HOST
        low_transfer __DISPATCH_RUN__, saved_low - HIGH_SHIFT, __DISPATCH_LOAD__, HIGH_BYTES, REU_TO_HOST
        low_transfer __NMI_RUN__, saved_low - HIGH_SHIFT, __NMI_LOAD__, __NMI_SIZE__, REU_TO_HOST
        jmp high_start

; The end, once the player up high has put bank 0 back (this code with it) and the stack: the pages where
; the player ran as they were, the memory configuration and the caller's interrupt flag.
low_finish:
        low_transfer $E000, saved_high - HIGH_SHIFT, 0, $1F00, REU_TO_HOST
        low_transfer $FF05, saved_top - HIGH_SHIFT, 0, $00FB, REU_TO_HOST
        lda low_rcr
        sta MMU_RCR
        lda low_mmu
        sta MMU_CR
        lda low_speed
        sta VIC_SPEED
        lda low_flags
        pha
        plp
        rts

low_mark:       .res REU_STREAM_MARK_BYTES
low_flags:      .byte 0
low_speed:      .byte 0
low_stack:      .byte 0
low_mmu:        .byte 0
low_rcr:        .byte 0
unit_start:     .faraddr 0          ; the head lies at the unit's address 0
mark_text:      .byte "ZOVR"
texts:
no_unit_text:   .byte "NO RAM EXPANSION UNIT: NEEDS ", 0
wrong_text:     .byte "REU LACKS THIS STREAM'S ", 0
kb_text:        .byte " KB IMAGE", 13, 0

; ---- the player, up high ----------------------------------------------------------------------------------------
        .segment "CODE"

high_start:
        lda #0                      ; zero page and stack into their own pages
        sta MMU_P0H
        lda #ZERO_PAGE_PAGE
        sta MMU_P0L
        lda #0
        sta MMU_P1H
        lda #STACK_PAGE
        sta MMU_P1L
        lda #0                      ; the player's variables start at 0
        ldx #2
:       sta 0,x
        inx
        bne :-
        jsr save_machine
        jsr clear_memory
        jsr set_up_sound
        jsr set_up_play
        jsr fill_ring
        jsr decode_frame            ; the first frame, before the clock starts
        bcs play_out
        jsr frame_pending
        lda #$0F                    ; (a raster match while interrupts were held would come at once)
        sta VIC_IRQ
        cli                         ; the raster interrupt starts the clock and shows the frame

; Shows frame after frame: waits until the raster interrupt has switched to the decoded frame, records
; it, decodes the next. The wait counts its idle steps.
play:
:       jsr audio_service
        jsr check_key
        lda switched
        bne :+
        jsr idle_step
        jmp :-
:       jsr record_frame
        jsr decode_frame
        bcs play_out
        jsr frame_pending
        jmp play

; After the last frame: until the sound and the last picture's time have passed.
play_out:
        lda #1
        sta ending
:       jsr audio_service
        jsr check_key
        lda clock_running
        beq finish
        sei
        jsr read_ticks
        cli
        lda ticks
        cmp end_ticks
        lda ticks+1
        sbc end_ticks+1
        lda ticks+2
        sbc end_ticks+2
        lda ticks+3
        sbc end_ticks+3
        bcc :-
        ; fall through

; Stops the sound, writes the record's head, gives back what the player changed and returns to BASIC.
finish:
        sei
        lda speed_slow              ; 1 MHz from here on, whatever the border wanted
        sta speed_now
        sta VIC_SPEED
        lda #$7F
        sta CIA2_ICR
        lda #$08                    ; the timer stops
        sta CIA2_CONTROL_A
        lda CIA2_ICR
        lda #0
        sta VIC_IRQ_MASK
        lda #$0F
        sta VIC_IRQ
        jsr record_head
        lda #RAMP_FALLING           ; down from the middle level
        jsr ramp_volume
        jsr clear_sid
        ldx #0                      ; and back up to BASIC's volume, a step at a time
:       stx SID_VOLUME
        jsr wait_4ms
        inx
        cpx #16
        bne :-
        jsr restore_machine
        lda #0                      ; bank 0 as it was, zero page and stack included (ours are elsewhere)
        sta REU_HOST
        sta REU_HOST+1
        sta REU_CONTROL
        sta REU_LENGTH
        lda #>$D000
        sta REU_LENGTH+1
        lda saved_low
        sta REU_ADDRESS
        lda saved_low+1
        sta REU_ADDRESS+1
        lda saved_low+2
        sta REU_ADDRESS+2
        lda #REU_TO_HOST
        sta REU_COMMAND
        lda #0                      ; BASIC's zero page and stack again
        sta MMU_P0H
        sta MMU_P0L
        sta MMU_P1H
        lda #1
        sta MMU_P1L
        ldx low_stack
        txs
        jmp low_finish

; A stretch of IDLE_STEP_CYCLES cycles of nothing, counted: the record tells how much time the player had
; to spare.
idle_step:
        ldx #IDLE_SPIN
idle_spin:
        dex
        bne idle_spin
        .assert >idle_spin = >*, error, "the idle spin's branch crosses a page"
        inc idle
        bne :+
        inc idle+1
        bne :+
        inc idle+2
        bne :+
        inc idle+3
:       rts

; A key pressed once no key was down ends the play early, the same way as its end.
check_key:
        lda #0
        sta CIA1_PORT_A
        lda CIA1_PORT_B
        cmp #$FF
        beq keys_up
        lda keys_were_up
        beq :+
        lda #2
        sta ending
        jmp finish
keys_up:
        lda #1
        sta keys_were_up
:       rts

; ---- setting up and giving back ----------------------------------------------------------------------------------

; Notes what the player changes, and quiets the machine.
save_machine:
        lda CPU_PORT
        sta saved_port
        ora #$07                    ; the VIC-II sees RAM everywhere; processor and VIC-II see one Colour RAM half
        sta CPU_PORT
        lda VIC_CONTROL_1
        and #$7F
        sta saved_d011
        lda VIC_CONTROL_2
        sta saved_d016
        lda VIC_MEMORY
        sta saved_d018
        lda VIC_IRQ_MASK
        sta saved_d01a
        lda VIC_BORDER
        sta saved_d020
        lda VIC_BACKGROUND
        sta saved_d021
        lda VIC_SPEED               ; (1 MHz since the start)
        sta speed_slow
        sta speed_now
        ora #1
        sta speed_fast
        lda CIA1_PORT_A
        sta saved_dc00
        lda CIA2_PORT_A
        sta saved_dd00
        lda CIA2_TIMER_A
        sta saved_timer
        lda CIA2_TIMER_A+1
        sta saved_timer+1
        lda CIA2_CONTROL_A
        sta saved_cra
        lda #0
        sta VIC_IRQ_MASK
        lda #$0F
        sta VIC_IRQ
        lda #$7F                    ; neither CIA interrupts (BASIC's masks are clear when it calls a program)
        sta CIA1_ICR
        sta CIA2_ICR
        lda CIA1_ICR
        lda CIA2_ICR
        lda #$08
        sta CIA2_CONTROL_A
        lda #0
        sta ntsc
        lda PAL_FLAG_C128           ; read before the memory is cleared
        bne :+
        inc ntsc
:       lda #$0B                    ; the screen blank and black until the first frame
        sta VIC_CONTROL_1
        lda #0
        sta VIC_BORDER
        sta VIC_BACKGROUND
        lda mode_d016
        sta VIC_CONTROL_2
        rts

; Everything the player changed, back as it was (the memory itself comes back from the unit).
restore_machine:
        lda #$FF                    ; the screen editor's raster line
        sta VIC_RASTER
        lda saved_d011
        sta VIC_CONTROL_1
        lda saved_d016
        sta VIC_CONTROL_2
        lda saved_d018
        sta VIC_MEMORY
        lda saved_d020
        sta VIC_BORDER
        lda saved_d021
        sta VIC_BACKGROUND
        lda saved_dd00
        sta CIA2_PORT_A
        lda saved_dc00
        sta CIA1_PORT_A
        lda saved_timer
        sta CIA2_TIMER_A
        lda saved_timer+1
        sta CIA2_TIMER_A+1
        lda saved_cra
        ora #$10                    ; the count back into the timer, stopped as it was
        sta CIA2_CONTROL_A
        lda #$0F
        sta VIC_IRQ
        lda saved_d01a
        sta VIC_IRQ_MASK
        lda saved_colours           ; Colour RAM
        sta REU_ADDRESS
        lda saved_colours+1
        sta REU_ADDRESS+1
        lda saved_colours+2
        sta REU_ADDRESS+2
        jsr fetch_colour_ram
        lda saved_port
        sta CPU_PORT
        rts

; The frame memory zero (physical 0x0000-0xBFFF: zero page and stack are elsewhere now) and Colour RAM
; black, both from the unit's zero with its address held.
clear_memory:
        lda #REU_FIX_UNIT
        sta REU_CONTROL
        lda value_table
        sta REU_ADDRESS
        lda value_table+1
        sta REU_ADDRESS+1
        lda value_table+2
        sta REU_ADDRESS+2
        lda #0
        sta REU_HOST
        sta REU_HOST+1
        sta REU_LENGTH
        .assert <FRAME_MEMORY_END = 0, error, "the frames' memory ends at a page"
        lda #>FRAME_MEMORY_END
        sta REU_LENGTH+1
        lda #REU_TO_HOST
        sta REU_COMMAND
        jsr fetch_colour_ram
        lda #0
        sta REU_CONTROL
        sta REU_LENGTH+1            ; every transfer from here on is shorter than 256 bytes
        rts

; Fetches Colour RAM's 1 KiB from the unit's address already set (at 1 MHz, before or after the play).
fetch_colour_ram:
        lda #<COLOUR_RAM
        sta REU_HOST
        lda #>COLOUR_RAM
        sta REU_HOST+1
        lda #0
        sta REU_LENGTH
        lda #>$0400
        sta REU_LENGTH+1
        lda #REU_TO_HOST
        sta REU_COMMAND
        rts

; Finds the chip model, sets the voices up, fetches the model's tables out of the saved copy of this program
; and rises to the middle level. BASIC 7 keeps the volume at 15 (the register cannot be read): it falls from
; there a step at a time first, so that the output does not jump.
set_up_sound:
        ldx #15
:       stx SID_VOLUME
        jsr wait_4ms
        dex
        bpl :-
        jsr clear_sid
        jsr find_model
        jsr set_up_voices
        lda model                   ; the model's table pages
        .assert TABLE_PAGES = 4, error, "a model's table pages at model × 4 (two shifts)"
        asl
        asl
        adc table_page
        ldx #>TABLES
        ldy #TABLE_PAGES
        jsr fetch_program_pages
        lda table_page              ; the ramp page, after both models' tables
        clc
        adc #2 * TABLE_PAGES
        ldx #>RAMPS
        ldy #1
        jsr fetch_program_pages
        lda #RAMP_RISING
        jmp ramp_volume

; Fetches Y pages of the program from load page A, out of the saved copy of bank 0, to page X.
fetch_program_pages:
        clc
        adc saved_low+1
        sta REU_ADDRESS+1
        lda saved_low+2
        adc #0
        sta REU_ADDRESS+2
        lda saved_low
        sta REU_ADDRESS
        lda #0
        sta REU_HOST
        stx REU_HOST+1
        sta REU_LENGTH
        sty REU_LENGTH+1
        lda #REU_TO_HOST
        sta REU_COMMAND
        lda #0
        sta REU_LENGTH+1
        rts

; Steps through the model's RAMP_STEPS volume values rising or falling (A: RAMP_RISING or RAMP_FALLING) on
; the ramp page, 4 ms each.
RAMP_RISING     = 0
ramp_volume:
        sta temp
        .assert RAMP_STEPS = 64 && RAMP_FALLING = 2 * RAMP_STEPS, error, "a model's ramps at model × 64 (six shifts)"
        lda model
        asl
        asl
        asl
        asl
        asl
        asl
        ora temp
        tay
        ldx #RAMP_STEPS
:       lda RAMPS,y
        sta SID_VOLUME
        jsr wait_4ms
        iny
        dex
        bne :-
        rts

        .include "sid_model.inc"
        .include "sid_voices.inc"

; The clock for this machine, the cursors, the record, the interrupts' vectors.
set_up_play:
        ldx ntsc
        beq :+
        ldx #2
:       lda period_pal,x
        sta CIA2_TIMER_A
        lda period_pal+1,x
        sta CIA2_TIMER_A+1
        lda frame_ticks_pal,x
        sta frame_ticks
        lda frame_ticks_pal+1,x
        sta frame_ticks+1
        txa
        asl
        tax
        ldy #0
:       lda end_ticks_pal,x
        sta end_ticks,y
        inx
        iny
        cpy #4
        bne :-
        ldx #2
:       lda scratch_address,x
        sta scratch,x
        lda stream_start,x
        sta vcur,x
        sta acur,x
        lda record_start,x
        sta record_at,x
        dex
        bpl :-
        lda record_at               ; the frames' entries follow the record's head
        clc
        adc #RECORD_HEAD_BYTES
        sta record_at
        bcc :+
        inc record_at+1
        bne :+
        inc record_at+2
:       lda #<RING
        sta wptr
        lda #>RING
        sta wptr+1
        lda #<nmi0
        sta NMI_VECTOR
        lda #>nmi0
        sta NMI_VECTOR+1
        lda #<irq
        sta IRQ_VECTOR
        lda #>irq
        sta IRQ_VECTOR+1
        lda #LINE_BOTTOM
        sta VIC_RASTER
        lda #1
        sta VIC_IRQ_MASK
        rts

; Fills the audio ring and works out the values of its first byte's samples.
fill_ring:
:       lda #255
        jsr audio_pieces
        lda written+1               ; full when fewer than a piece's bytes are free
        cmp #>AUDIO_RING_BYTES
        bcs :+
        cmp #>(AUDIO_RING_BYTES - REU_PIECE)
        bcc :-
        lda written
        cmp #<(AUDIO_RING_BYTES - REU_PIECE) + 1
        bcc :-
:       lda #>RING                  ; the sample interrupt reads on from the second byte
        ldx RING
        jmp sample_values

; ---- frames ------------------------------------------------------------------------------------------------

; Runs the video packets' commands up to the next Frame command; carry set when the stream ends first.
decode_frame:
        lda #0
        sta frame_done
:       jsr video_packet
        bcs :+
        jsr audio_service
        jsr check_key
        lda frame_done
        beq :-
        clc
:       rts

; Hands the decoded frame to the raster interrupt with its due time: (number - 1) × ticks per picture.
frame_pending:
        lda #0
        sta due
        sta due+1
        sta due+2
        sta due+3
        lda frame_number
        sec
        sbc #1
        sta factor
        lda frame_number+1
        sbc #0
        sta factor+1
        bcc due_found               ; (a frame numbered 0 is due at once)
        ldx #16
:       asl due
        rol due+1
        rol due+2
        rol due+3
        asl factor
        rol factor+1
        bcc :+
        clc
        lda due
        adc frame_ticks
        sta due
        lda due+1
        adc frame_ticks+1
        sta due+1
        bcc :+
        inc due+2
        bne :+
        inc due+3
:       dex
        bne :--
due_found:
        lda #0
        sta switched
        lda #1
        sta pending
        rts

; Writes the shown frame's entry into the unit's record: its number and the ticks at its switch.
record_frame:
        lda #0
        sta switched
        lda frame_number
        sta entry
        lda frame_number+1
        sta entry+1
        ldx #3
:       lda switch_ticks,x
        sta entry+2,x
        dex
        bpl :-
        lda #<entry
        ldx #>entry
        ldy #RECORD_ENTRY_BYTES
        jsr record_write
        inc shown
        bne :+
        inc shown+1
:       rts

; The record's head: how the play ended, the machine, the chip model, the frames shown, the ticks, the
; idle steps.
record_head:
        lda ending
        sta entry
        lda ntsc
        sta entry+1
        lda model
        sta entry+2
        lda shown
        sta entry+3
        lda shown+1
        sta entry+4
        jsr read_ticks
        ldx #3
:       lda ticks,x
        sta entry+5,x
        lda idle,x
        sta entry+9,x
        dex
        bpl :-
        ldx #2
:       lda record_start,x
        sta record_at,x
        dex
        bpl :-
        lda #<entry
        ldx #>entry
        ldy #HEAD_WRITTEN
        ; fall through

; Puts Y bytes from A/X (low, high) into the unit at record_at and moves record_at on.
record_write:
        sta REU_HOST
        stx REU_HOST+1
        ldx #2
:       lda record_at,x
        sta ra,x
        dex
        bpl :-
        tya
        pha
        ldy #REU_FROM_HOST
        jsr reu_run
        pla
        clc
        adc record_at
        sta record_at
        bcc :+
        inc record_at+1
        bne :+
        inc record_at+2
:       rts

; Reads the next video packet at the video cursor, skipping audio packets, and runs its commands; carry set
; at the end of the stream.
video_packet:
        ldx #vcur
        jsr next_packet
        bcs video_end
        lda head
        cmp #'A'
        beq video_packet
        lda head+2                  ; a video packet holds at most 254 bytes
        sta pend
        beq video_done
        jsr fetch_packet
        ldx #0
        lda head+1
        cmp #'0'                    ; a frame's first packet starts with its number
        bne :+
        lda pbuf
        sta frame_number
        lda pbuf+1
        sta frame_number+1
        ldx #2
:       jsr run_commands
video_done:
        clc
video_end:
        rts

; Reads the packet head at the cursor in zero page at X into head, sets preu to its payload and moves the
; cursor behind the packet; carry set when the cursor is at the stream's end.
next_packet:
        lda 0,x
        cmp stream_end
        bne :+
        lda 1,x
        cmp stream_end+1
        bne :+
        lda 2,x
        cmp stream_end+2
        bne :+
        sec
        rts
:       lda 0,x
        sta ra
        clc
        adc #4
        sta preu
        lda 1,x
        sta ra+1
        adc #0
        sta preu+1
        lda 2,x
        sta ra+2
        adc #0
        sta preu+2
        lda #<head
        sta REU_HOST
        lda #>head
        sta REU_HOST+1
        lda #4
        ldy #REU_TO_HOST
        jsr reu_run
        clc
        lda preu
        adc head+2
        sta 0,x
        lda preu+1
        adc head+3
        sta 1,x
        lda preu+2
        adc #0
        sta 2,x
        clc
        rts

; ---- sound ---------------------------------------------------------------------------------------------------

; Tops the audio ring up, a few pieces at a time.
audio_service:
        lda #AUDIO_PIECES
        ; fall through

; Moves up to A pieces of audio into the ring while it has room: from the audio packets at the audio
; cursor, then the middle level.
audio_pieces:
        sta pieces
        lda #HEADS_A_CALL
        sta heads
audio_piece:
:       lda read_pages              ; a consistent read address and page count: played + 1
        ldx nmi_read+1
        cmp read_pages
        bne :-
        stx temp
        sta temp+1
        lda written                 ; written - what has been read, at most 4096
        sec
        sbc temp
        sta temp
        lda written+1
        sbc temp+1
        cmp #>(AUDIO_RING_BYTES - REU_PIECE)  ; room for a whole piece?
        bcc :+
        bne audio_done
        lda temp
        cmp #<(AUDIO_RING_BYTES - REU_PIECE) + 1
        bcs audio_done
:       lda aleft
        ora aleft+1
        bne audio_from_packet
        jsr next_audio_packet
        bcc audio_piece
audio_done:
        rts
audio_from_packet:
        lda #REU_PIECE              ; a piece: at most REU_PIECE, what is left of the packet, the room to the ring's end
        ldx aleft+1
        bne :+
        cmp aleft
        bcc :+
        lda aleft
:       ldx wptr+1                  ; in the ring's last page: no further than its end
        cpx #>(RING_END - 1)
        bne piece_found
        ldx wptr
        beq piece_found
        sta temp
        txa
        eor #$FF
        clc
        adc #1
        cmp temp
        bcc piece_found
        lda temp
piece_found:
        sta temp                    ; the piece's length
        lda wptr
        sta REU_HOST
        lda wptr+1
        sta REU_HOST+1
        lda padding
        bne audio_pad
        ldx #2
:       lda asrc,x
        sta ra,x
        dex
        bpl :-
        lda temp
        ldy #REU_TO_HOST
        jsr reu_run
        lda asrc                    ; on in the packet
        clc
        adc temp
        sta asrc
        bcc :+
        inc asrc+1
        bne :+
        inc asrc+2
:       lda aleft
        sec
        sbc temp
        sta aleft
        bcs audio_written
        dec aleft+1
        jmp audio_written
audio_pad:
        lda #REU_FIX_UNIT
        sta REU_CONTROL
        lda #PAD_BYTE
        sta REU_ADDRESS
        lda value_table+1
        sta REU_ADDRESS+1
        lda value_table+2
        sta REU_ADDRESS+2
        lda temp
        sta REU_LENGTH
        ldy #REU_TO_HOST
        execute_y
        lda #0
        sta REU_CONTROL
audio_written:
        lda wptr                    ; on in the ring, round at its end
        clc
        adc temp
        sta wptr
        bcc :+
        inc wptr+1
        lda wptr+1
        cmp #>RING_END
        bne :+
        lda #>RING
        sta wptr+1
:       lda written
        clc
        adc temp
        sta written
        bcc :+
        inc written+1
:       dec pieces
        beq :+
        jmp audio_piece
:       rts

; Moves the audio cursor to the next audio packet with bytes; carry set when HEADS_A_CALL heads have been
; read in this call. After the last audio packet the ring fills with the middle level.
next_audio_packet:
        dec heads
        bne :+
        sec
        rts
:       ldx #acur
        jsr next_packet
        bcc :+
        lda #1                      ; the sound has ended
        sta padding
        lda #$FF                    ; (the middle level has no end)
        sta aleft
        sta aleft+1
        clc
        rts
:       lda head
        cmp #'A'
        bne next_audio_packet
        lda head+2
        sta aleft
        lda head+3
        sta aleft+1
        ora aleft
        beq next_audio_packet
        ldx #2
:       lda preu,x
        sta asrc,x
        dex
        bpl :-
        clc
        rts

; Puts the volume values of the four samples of byte X into the sample interrupts that sound them.
.macro  sample_values_of_x
        lda TABLES,x
        sta nmi_value0+1
        lda TABLES+$100,x
        sta nmi_value1+1
        lda TABLES+$200,x
        sta nmi_value2+1
        lda TABLES+$300,x
        sta nmi_value3+1
.endmacro

; The values of byte X's samples, and the interrupt that reads the next byte pointed at page A (its low byte
; at 1).
sample_values:
        sta nmi_read+2
        lda #1
        sta nmi_read+1
        sample_values_of_x
        rts

; The ticks so far: 4 × the bytes fully played + the samples of the byte playing, read twice over so that a
; sample interrupt in between shows (the next handler the vector points at tells the samples played).
read_ticks:
:       lda NMI_VECTOR
        sta tick_phase
        lda nmi_read+1
        sta tick_bytes
        lda read_pages
        sta tick_bytes+1
        lda read_pages+1
        sta tick_bytes+2
        lda NMI_VECTOR
        cmp tick_phase
        bne :-
        lda tick_bytes              ; played = that - 1
        bne played_low
        lda tick_bytes+1
        bne played_middle
        dec tick_bytes+2
played_middle:
        dec tick_bytes+1
played_low:
        dec tick_bytes
        ldx #3
:       lda handlers,x
        cmp tick_phase
        beq :+
        dex
        bne :-
:       lda tick_bytes
        sta ticks
        lda tick_bytes+1
        sta ticks+1
        lda tick_bytes+2
        sta ticks+2
        lda #0
        sta ticks+3
        asl ticks
        rol ticks+1
        rol ticks+2
        rol ticks+3
        asl ticks
        rol ticks+1
        rol ticks+2
        rol ticks+3
        txa
        ora ticks
        sta ticks
        rts
handlers:       .byte <nmi0, <nmi1, <nmi2, <nmi3

; ---- the raster interrupt: the border lines ----------------------------------------------------------------
; It comes at the first border line below the picture and at a line above it. The processor runs at 2 MHz
; only between the two: the bottom one turns it on, the top one turns it off before the picture's first
; line, and only these and the unit's transfers (which drop to 1 MHz for their length) touch the speed
; bit. The interrupt is never held back for long (the main loop masks it only around a transfer of at most
; REU_PIECE bytes; a sample interrupt delays it by less than a line), so the top one always comes in the
; border; it tells the lines by the raster position, so that one coming in the picture neither speeds up
; nor switches. Each shows the decoded frame when its time has come.
irq:
        pha
        txa
        pha
        tya
        pha
        lda #1
        sta VIC_IRQ                 ; acknowledge
        lda VIC_CONTROL_1           ; raster bit 8: the bottom border
        bmi irq_bottom
        lda VIC_RASTER
        cmp #LINE_BOTTOM
        bcs irq_bottom
        cmp #LINE_TOP
        bcc irq_bottom              ; (the top border before LINE_TOP: as the bottom's)
        cmp #LINE_TOP + 4           ; a switch only well before the picture's first line (51)
        bcs :+
        jsr check_switch            ; (still at 2 MHz: done sooner)
:       lda speed_slow
        sta speed_now
        sta VIC_SPEED
        lda #LINE_BOTTOM
        bne irq_next
irq_bottom:
        lda speed_fast
        sta speed_now
        sta VIC_SPEED
        jsr check_switch
        lda #LINE_TOP
irq_next:
        sta VIC_RASTER
        pla
        tay
        pla
        tax
        pla
        rti

; Shows the pending frame when its due time has come: the first one starts the clock.
check_switch:
        lda pending
        beq not_due
        lda clock_running
        bne clock_runs
        lda #$81                    ; timer A gives the sample interrupt
        sta CIA2_ICR
        lda #$11                    ; load the count and run
        sta CIA2_CONTROL_A
        lda #1
        sta clock_running
clock_runs:
        jsr read_ticks
        lda ticks
        cmp due
        lda ticks+1
        sbc due+1
        lda ticks+2
        sbc due+2
        lda ticks+3
        sbc due+3
        bcc not_due
        lda frame_m1
        sta VIC_MEMORY
        lda CIA2_PORT_A
        and #$FC
        ora frame_m2
        sta CIA2_PORT_A
        lda frame_m3
        sta VIC_BACKGROUND
        ldx border                  ; the border: the setting's colour, or the background's
        bpl :+
        tax
:       stx VIC_BORDER
        lda #BITMAP_SCREEN_CONTROL
        sta VIC_CONTROL_1
        ldx #3
:       lda ticks,x
        sta switch_ticks,x
        dex
        bpl :-
        lda #0
        sta pending
        lda #1
        sta switched
not_due:
        rts

; ---- saved state ----------------------------------------------------------------------------------------------
saved_port:     .byte 0
saved_d011:     .byte 0
saved_d016:     .byte 0
saved_d018:     .byte 0
saved_d01a:     .byte 0
saved_d020:     .byte 0
saved_d021:     .byte 0
saved_dc00:     .byte 0
saved_dd00:     .byte 0
saved_timer:    .word 0
saved_cra:      .byte 0
entry:          .res HEAD_WRITTEN   ; a record entry, or the record's head, on its way into the unit
head:           .res 4              ; a packet head (the unit's transfers see physical zero page, not ours)

; ---- the sample interrupt -----------------------------------------------------------------------------------
; One handler per sample of a byte, each in this page: it sounds the value worked out for it, acknowledges
; and points the vector at the next one (only the vector's low byte changes). The fourth also reads the
; ring's next byte, works out the values of its four samples; the read address, with a count of its pages,
; tells how many bytes have played. The handlers keep their state in their own operands, marked (written):
; each saves A (and the fourth X) in the operand of the load that gives it back before the rti.
;
; The fourth takes SAMPLE_CYCLES, the interrupt's own 7 included, on every byte but a page's last; the
; shortest timer period leaves room besides for the longest instruction the interrupt may wait for (7).
SAMPLE_CYCLES   = 86
        .assert SAMPLE_CYCLES + 7 <= SHORTEST_STREAM_PERIOD, error, "the sample interrupt outlasts the shortest period"
        .segment "NMI"
nmi0:   sta nmi_a0+1
nmi_value0:
        lda #0                      ; (written: the volume value of the byte's first sample)
        sta SID_VOLUME
        bit CIA2_ICR
        lda #<nmi1
        sta NMI_VECTOR
nmi_a0: lda #0                      ; (written: A)
        rti

nmi1:   sta nmi_a1+1
nmi_value1:
        lda #0                      ; (written: the second sample's value)
        sta SID_VOLUME
        bit CIA2_ICR
        lda #<nmi2
        sta NMI_VECTOR
nmi_a1: lda #0                      ; (written: A)
        rti

nmi2:   sta nmi_a2+1
nmi_value2:
        lda #0                      ; (written: the third sample's value)
        sta SID_VOLUME
        bit CIA2_ICR
        lda #<nmi3
        sta NMI_VECTOR
nmi_a2: lda #0                      ; (written: A)
        rti

nmi3:   sta nmi_a3+1
nmi_value3:
        lda #0                      ; (written: the fourth sample's value)
        sta SID_VOLUME
        bit CIA2_ICR
        stx nmi_x3+1
nmi_read:
        ldx RING                    ; (written: the address of the ring's byte to read next)
        sample_values_of_x
        inc nmi_read+1
        bne :++
        inc read_pages
        bne :+
        inc read_pages+1
:       inc nmi_read+2
        lda nmi_read+2
        cmp #>RING_END
        bne :+
        lda #>RING
        sta nmi_read+2
:       lda #<nmi0
        sta NMI_VECTOR
nmi_x3: ldx #0                      ; (written: X)
nmi_a3: lda #0                      ; (written: A)
        rti
        .assert >nmi0 = >nmi1 && >nmi0 = >nmi2 && >nmi0 = >nmi3, error, "the sample interrupts share a page"
