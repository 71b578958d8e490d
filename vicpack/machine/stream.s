; Plays a video stream from the RAM expansion unit (REU) on the C128 in its native mode, then gives BASIC
; back its memory, screen and interrupts.
;
; Loaded at 0x1C01 (RUN), the program checks that the unit holds this stream's image, saves bank 0 into
; the unit's scratch, moves the player up to 0xE000-0xFFFF and clears the frame memory. The machine then
; runs from RAM with I/O at 0xD000 (0xFF00 = 0x3E), the VIC-II seeing RAM everywhere (bit 2 of 0x01): zero
; page and stack are moved up by the MMU, so that physical 0x0000-0xBFFF holds nothing but the frames; the
; audio ring lies at 0xC000-0xCFFF. The processor, the VIC-II and the unit all see bank 0, so the stream's
; memory is the machine's, address for address: vicpack has translated the stream's commands into
; operations on it (stream_operations.inc, which the C64's player runs too).
;
; The sound is the clock: a CIA 2 timer interrupt sounds one 2-bit sample after another through the SID's
; volume register and counts them. The main loop runs a frame's operations, then waits until the raster
; interrupt has shown it (at the first border line at or after its due time), then runs the next: a frame
; may write into the buffer of the frame before it, never into the one on screen. Meanwhile it keeps the
; audio ring full. Each shown frame is recorded in the unit. The processor runs at 2 MHz in the border
; lines, and drops to 1 MHz for every transfer of the unit.
;
; This file holds the player's memory map, settings and variables, its main loop, the raster interrupt and
; the sample interrupt; the parts it includes hold the rest: stream_machine.inc its start and end, and the
; parts both players share, stream_frames.inc the frames and the record, stream_sound.inc the sound and the
; clock, stream_switch.inc the switch to a frame.
        .setcpu "6502"
        .include "registers.inc"
        .include "reu.inc"
        .include "machine_numbers.inc"

; ---- where things lie while the player runs ---------------------------------------------------------------
RING            = AUDIO_RING        ; the audio ring lies above the frames' memory
RING_END        = AUDIO_RING + AUDIO_RING_BYTES
        .assert RING >= FRAME_MEMORY_END && <RING = 0 && <RING_END = 0, error, "the ring's pages"
TABLES          = $F700             ; the volume register value of each sample place of a byte, a page each
TABLE_PAGES     = 4                 ; 2-bit samples: four to a byte
RAMPS           = TABLES + TABLE_PAGES * $100  ; the ramp page of the program's tables
pbuf            = $FC00             ; the page of operations being run
SAVED_HIGH      = $E000             ; what the player saves of bank 0 besides 0x0000-0xCFFF: where it runs
SAVED_TOP       = $FF05             ; (above the MMU's registers)
        .assert SAVED_HIGH + SAVED_HIGH_BYTES = $FF00 && SAVED_TOP + SAVED_TOP_BYTES = $10000, error, "a saved part"
        .assert <SAVED_LOW_BYTES = 0 && SAVED_LOW_BYTES >= RING_END, error, "bank 0 is saved up to the ring's end"
STACK_PAGE      = $FD               ; physical pages for the stack and zero page; the MMU swaps them with
ZERO_PAGE_PAGE  = $FE               ; pages 1 and 0, so the processor's addresses 0xFD00-0xFEFF are not used

LINE_BOTTOM     = 251               ; the first border line below the picture: 2 MHz from here
LINE_TOP        = 45                ; back to 1 MHz from here, before the picture's first line (51)
AUDIO_PIECES    = 8                 ; pieces of audio a call of audio_service moves at most
HEAD_WRITTEN    = 13                ; the record's head as record_head writes it (RECORD_HEAD_BYTES in all)
        .assert HEAD_WRITTEN <= RECORD_HEAD_BYTES, error, "the record's head is longer than its place"
        .assert RECORD_ENTRY_BYTES = 6, error, "a frame's entry is its number (16 bits) and its ticks (32 bits)"
IDLE_SPIN       = (IDLE_STEP_CYCLES - 21) / 5  ; an idle step: jsr, ldx, IDLE_SPIN × dex/bne, inc, bne, rts
        .assert IDLE_SPIN * 5 + 21 = IDLE_STEP_CYCLES && IDLE_SPIN < 256, error, "no spin takes IDLE_STEP_CYCLES"
        .assert REU_STREAM_MARK_BYTES = 8, error, "the mark is ZOVR and the identity (32 bits)"
        .assert OPERATION_PAGE_BYTES = 256, error, "a page of operations is what X indexes"

        .include "basic_start_c128.inc"

; ---- the settings, filled in by vicpack ---------------------------------------------------------------------
        .segment "SETTINGS"
identity:       .dword 0            ; what the image plays, in the unit's head and tail too
image_tail:     .faraddr 0          ; where the tail lies in the unit
reu_text:       .res 6              ; the unit's size in KiB as text ending in 0, for the message
value_table:    .faraddr 0          ; the unit's table of the 256 byte values, at a page start
scratch_address: .faraddr 0         ; 256 bytes of the unit's scratch for copies, at a page start
saved_low:      .faraddr 0          ; where bank 0's 0x0000-0xCFFF is saved
saved_high:     .faraddr 0          ; 0xE000-0xFEFF
saved_top:      .faraddr 0          ; 0xFF05-0xFFFF
saved_colours:  .faraddr 0          ; Colour RAM
operations_page: .word 0            ; the unit's address of the first page of operations, bits 8-23
sound_start:    .faraddr 0          ; the sound's first byte
sound_end:      .faraddr 0          ; the first byte after the sound (a multiple of REU_PIECE after the start)
record_start:   .faraddr 0          ; the record of the frames shown
period_pal:     .word 0             ; the timer's count between two ticks (less one), PAL
period_ntsc:    .word 0             ; and NTSC
end_ticks:      .dword 0            ; ticks from the first frame to the end of the sound or the last picture
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
acur:           .res 3              ; the sound's next piece in the unit
pieces:         .res 1
ticks:          .res 4              ; read_ticks' result
tick_bytes:     .res 3
tick_phase:     .res 1
pending:        .res 1              ; a frame waits for its switch
switched:       .res 1              ; the raster interrupt showed it
switch_ticks:   .res 4              ; ticks when it did
clock_running:  .res 1
frame_d018:     .res 1              ; the frame that waits: its display registers, number and due ticks
frame_bank:     .res 1
frame_background: .res 1
frame_number:   .res 2
due:            .res 4
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
scratch:        .res 3              ; the unit's scratch, for the operations

; A 17xx unit may transfer only while the processor runs at 1 MHz (at 2 MHz the processor misfetches when
; the transfer ends; the emulator does not show this): the speed drops for a transfer and returns to the one
; the raster interrupt wants (speed_now), which it cannot change in between (the transfers in between move
; at most REU_PIECE bytes each, so the interrupt waits no longer than that).
.macro  slow_for_transfers
        php
        sei
        lda speed_slow
        sta VIC_SPEED
.endmacro
.macro  speed_after_transfers
        lda speed_now
        sta VIC_SPEED
        plp                         ; (interrupts as they were)
.endmacro
NO_HIDDEN_RAM   = 1                 ; the frames lie below 0xC000: no operation writes under the I/O area

        .include "stream_operations.inc"

        .segment "TABLE"
        operation_table_bytes       ; (at 0xE000, before the settings)

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
        ldx #2
:       lda scratch_address,x
        sta scratch,x
        dex
        bpl :-
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

; Shows frame after frame: waits until the raster interrupt has switched to the pending frame, records
; it, runs the next. The wait counts its idle steps.
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
        lda #>SAVED_LOW_BYTES
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

; The operations call this before each further page: the ring topped up, the keyboard looked at.
between_pages:
        jsr audio_service
        jmp check_key

        .include "stream_machine.inc"

; Fills the audio ring and works out the values of its first byte's samples.
fill_ring:
        lda #255                    ; (more pieces than the ring holds)
        jsr audio_pieces
        lda #>RING                  ; the sample interrupt reads on from the second byte
        ldx RING
        jmp sample_values

        .include "stream_frames.inc"
        .include "stream_sound.inc"

; ---- the raster interrupt: the border lines ----------------------------------------------------------------
; It comes at the first border line below the picture and at a line above it. The processor runs at 2 MHz
; only between the two: the bottom one turns it on, the top one turns it off before the picture's first
; line, and only these and the unit's transfers (which drop to 1 MHz for their length) touch the speed
; bit. The interrupt is never held back for long (the main loop masks it only around a transfer of at most
; REU_PIECE bytes; a sample interrupt delays it by less than a line), so the top one always comes in the
; border; it tells the lines by the raster position, so that one coming in the picture neither speeds up
; nor switches. Each shows the decoded frame when its time has come.
        .segment "CODE"
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

        .include "stream_switch.inc"

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
entry:          .res HEAD_WRITTEN   ; a record entry, or the record's head, on its way into the unit (whose
                                    ; transfers see physical zero page, not ours)

; ---- the sample interrupt -----------------------------------------------------------------------------------
; One handler per sample of a byte, each in this page: it sounds the value worked out for it and points the
; vector at the next one (only the vector's low byte changes). The fourth also reads the ring's next byte and
; works out the values of its four samples; the read address, with a count of its pages, tells how many
; bytes have played. The handlers keep their state in their own operands, marked (written): each saves A
; (and the fourth X) in the operand of the load that gives it back before the rti.
;
; A handler delayed by a transfer of the unit (which collapses the underflows during it into one interrupt)
; and a bad line may still run when the next timer underflow comes: so the fourth acknowledges as soon as
; the next handler's value and the vector are set, and the others acknowledge last (an underflow before the
; acknowledgement is lost, not played by a handler that runs inside itself and overwrites its state).
;
; The fourth takes SAMPLE_CYCLES, the interrupt's own 7 included, on every byte but a page's last; the
; shortest timer period leaves room besides for the longest instruction the interrupt may wait for (7).
SAMPLE_CYCLES   = 86
        .assert SAMPLE_CYCLES + 7 <= SHORTEST_STREAM_PERIOD, error, "the sample interrupt outlasts the period"
        .segment "NMI"
        sample_interrupts 0
