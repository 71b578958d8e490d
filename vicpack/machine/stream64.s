; Plays a video stream from the RAM expansion unit (REU) on the C64 (or a C128 in C64 mode), then gives BASIC
; back its memory, screen and interrupts.
;
; Loaded at 0x0801 (RUN), the program checks that the unit holds this stream's image, saves the memory into
; the unit, moves the player to 0x9000-0x9FFF (where the VIC-II sees its character ROM, so no frame is ever
; shown there) and clears the memory the frames take. It then runs with BASIC and the KERNAL switched out
; (0x01 = 0x35), its vectors in RAM; its variables in zero page and 0x0200-0x03FF, the audio ring and the
; sound tables at 0x1000-0x1FFF. The frames lie where vicpack put them: vicpack has translated the stream's
; commands into operations on this machine's memory (stream_operations.inc).
;
; The sound is the clock: a CIA 2 timer interrupt sounds one 2-bit sample after another through the SID's
; volume register and counts them. The main loop runs a frame's operations, then waits until the raster
; interrupt has shown it (at the first border line at or after its due time), then runs the next: a frame
; may write into the buffer of the frame before it, never into the one on screen. Meanwhile it keeps the
; audio ring full. Each shown frame is recorded in the unit.
;
; This file holds the player's memory map, settings and variables, its main loop, the raster interrupt and
; the sample interrupts; stream64_machine.inc holds its start and end, and the parts both players share hold
; the operations (stream_operations.inc), the frames and the record (stream_frames.inc), the sound and the
; clock (stream_sound.inc) and the switch to a frame (stream_switch.inc).
        .setcpu "6502"
        .include "registers.inc"
        .include "reu.inc"
        .include "machine_numbers.inc"

; ---- where things lie while the player runs ---------------------------------------------------------------
RING            = C64_AUDIO_RING    ; the audio ring, where the VIC-II sees character ROM
RING_END        = RING + C64_AUDIO_RING_BYTES
        .assert <RING = 0 && <RING_END = 0 && RING >= $1000 && RING_END <= $1800, error, "the ring's pages"
TABLES          = $1800             ; four pages: the volume register value of each sample place of a byte
RAMPS           = $1C00             ; the ramp page of the program's tables
pbuf            = $0300             ; the page of operations being run
CPU_PORT_ALL_RAM = $34              ; RAM everywhere, I/O too switched out

LINE_BOTTOM     = 251               ; the first border line below the picture
LINE_TOP        = 40                ; a line of the top border, well before the picture's first (51)
LINE_LAST_SWITCH = 47               ; no switch after this line of the top border
AUDIO_PIECES    = 8                 ; pieces of audio a call of audio_service moves at most
HEAD_WRITTEN    = 13                ; the record's head as record_head writes it (RECORD_HEAD_BYTES in all)
        .assert HEAD_WRITTEN <= RECORD_HEAD_BYTES, error, "the record's head is longer than its place"
        .assert RECORD_ENTRY_BYTES = 6, error, "a frame's entry is its number (16 bits) and its ticks (32 bits)"
IDLE_SPIN       = (IDLE_STEP_CYCLES - 21) / 5  ; an idle step: jsr, ldx, IDLE_SPIN × dex/bne, inc, bne, rts
        .assert IDLE_SPIN * 5 + 21 = IDLE_STEP_CYCLES && IDLE_SPIN < 256, error, "no spin takes IDLE_STEP_CYCLES"
        .assert REU_STREAM_MARK_BYTES = 8, error, "the mark is ZOVR and the identity (32 bits)"
        .assert OPERATION_PAGE_BYTES = 256, error, "a page of operations is what X indexes"
KERNAL_KEYS     = $0277             ; the KERNAL's keyboard buffer, which emulators type into: left alone

        .include "basic_start.inc"

; ---- the settings, filled in by vicpack ---------------------------------------------------------------------
        .segment "SETTINGS"
identity:       .dword 0            ; what the image plays, in the unit's head and tail too
image_tail:     .faraddr 0          ; where the tail lies in the unit
reu_text:       .res 6              ; the unit's size in KiB as text ending in 0, for the message
value_table:    .faraddr 0          ; the unit's table of the 256 byte values, at a page start
scratch_address: .faraddr 0         ; 256 bytes of the unit's scratch for copies, at a page start
saved_low:      .faraddr 0          ; where 0x0000-0xCFFF is saved
saved_high:     .faraddr 0          ; 0xE000-0xFFFF
saved_colours:  .faraddr 0          ; Colour RAM
saved_under_io: .faraddr 0          ; the RAM under the I/O area
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

; ---- zero page (0x02-0xC5: the KERNAL's key count at 0xC6 is left alone) -------------------------------------
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
temp:           .res 2
scratch:        .res 3              ; the unit's scratch, for the operations
hidden_pointer: .res 2              ; the hidden sample interrupt's read address
irq_port:       .res 1

; Switches the sample interrupt to the handlers that switch I/O in for themselves, then I/O out; and back.
.macro  hide_interrupts
        lda #>nmi_hidden_page
        sta NMI_VECTOR+1
        lda #CPU_PORT_ALL_RAM
        sta CPU_PORT
.endmacro
.macro  show_interrupts
        lda #CPU_PORT_RAM_IO
        sta CPU_PORT
        lda #>nmi_page
        sta NMI_VECTOR+1
.endmacro

; The unit transfers at any speed the processor runs at.
.macro  slow_for_transfers
.endmacro
.macro  speed_after_transfers
.endmacro

        .include "stream_operations.inc"

; ---- the player -------------------------------------------------------------------------------------------------
        .segment "CODE"

high_start:
        ldx #$FF                    ; the stack from its top (the caller's comes back at the end)
        txs
        lda #0                      ; the player's variables start at 0; a key typed before does not count
        ldx #KEYS_WAITING - 2
:       sta 1,x
        dex
        bne :-
        sta KEYS_WAITING
        ldx #2
:       lda scratch_address,x
        sta scratch,x
        dex
        bpl :-
        jsr save_machine
        lda #REU_FROM_HOST          ; the RAM under I/O into the unit too
        jsr move_under_io
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

; Shows frame after frame: waits until the raster interrupt has switched to the pending frame, records it,
; runs the next. The wait counts its idle steps.
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
        lda #RAMP_FALLING           ; down from the middle level to silence
        jsr ramp_volume
        jsr clear_sid
        jsr restore_machine
        lda #REU_TO_HOST            ; the RAM under I/O back from the unit
        jsr move_under_io
        lda saved_port              ; the ROMs back before RAM under them is: the vectors are the KERNAL's
        sta CPU_PORT
        lda #0
        sta REU_CONTROL
        ldx #restore_count - 1
:       lda #0                      ; the memory as it was, but where this code and the start's run
        sta REU_HOST
        sta REU_LENGTH
        lda restore_pages,x
        sta REU_HOST+1
        lda restore_lengths,x
        sta REU_LENGTH+1
        lda saved_low
        sta REU_ADDRESS
        clc
        lda restore_pages,x
        adc saved_low+1
        sta REU_ADDRESS+1
        lda saved_low+2
        adc #0
        sta REU_ADDRESS+2
        lda #REU_TO_HOST
        sta REU_COMMAND
        dex
        bpl :-
        lda #0                      ; and 0xE000-0xFFFF
        sta REU_HOST
        sta REU_LENGTH
        lda #$E0
        sta REU_HOST+1
        lda #$20
        sta REU_LENGTH+1
        lda saved_high
        sta REU_ADDRESS
        lda saved_high+1
        sta REU_ADDRESS+1
        lda saved_high+2
        sta REU_ADDRESS+2
        lda #REU_TO_HOST
        sta REU_COMMAND
        jmp low_finish
; The stretches of 0x0000-0xCFFF put back here: their first pages and their lengths in pages.
restore_pages:  .byte $04, $20, $A0
restore_lengths: .byte $0C, $70, $30
restore_count = * - restore_lengths

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

; A key pressed once no key was down ends the play early, the same way as its end; so does a key that an
; emulator typed into the KERNAL's buffer.
check_key:
        lda KEYS_WAITING
        bne key_ends
        lda #0
        sta CIA1_PORT_A
        lda CIA1_PORT_B
        cmp #$FF
        beq keys_up
        lda keys_were_up
        beq :+
key_ends:
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

        .include "stream64_machine.inc"

        .include "stream_frames.inc"
        .include "stream_sound.inc"

; ---- the raster interrupt: the border lines ----------------------------------------------------------------
; It comes at the first border line below the picture and at a line of the top border, and shows the
; pending frame when its time has come. It tells the lines by the raster position, so that one held back
; into the picture does not switch. It may come while the I/O area is switched out for a hidden operation:
; it switches I/O in for itself.
irq:
        pha
        txa
        pha
        tya
        pha
        lda CPU_PORT
        sta irq_port
        lda #CPU_PORT_RAM_IO
        sta CPU_PORT
        lda #1
        sta VIC_IRQ                 ; acknowledge
        lda VIC_CONTROL_1           ; raster bit 8: the bottom border
        bmi irq_bottom
        lda VIC_RASTER
        cmp #LINE_BOTTOM
        bcs irq_bottom
        cmp #LINE_LAST_SWITCH + 1
        bcs :+
        jsr check_switch
:       lda #LINE_BOTTOM
        bne irq_next
irq_bottom:
        jsr check_switch
        lda #LINE_TOP
irq_next:
        sta VIC_RASTER
        lda irq_port
        sta CPU_PORT
        pla
        tay
        pla
        tax
        pla
ignore_nmi:
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
entry:          .res 13             ; a record entry, or the record's head, on its way into the unit

; ---- the sample interrupt -----------------------------------------------------------------------------------
; One handler per sample of a byte, each at the same place of its page: it sounds the value worked out for it,
; points the vector at the next one and acknowledges. The fourth also reads the ring's next byte and works out
; the values of its four samples; the read address, with a count of its pages, tells how many bytes have
; played. A handler delayed by a transfer of the unit and a bad line may still run when the next timer
; underflow comes: so the fourth acknowledges as soon as the next handler's value and the vector are set,
; and the others acknowledge last (an underflow before the acknowledgement would be lost).
; The second page holds the same handlers for the time that the I/O area is switched out: each switches it in
; for itself and reads the values and the read address of the first page's.
        .segment "NMI"
NMI_STEP        = $28               ; handler n lies at n × NMI_STEP in its page
nmi_page:
        sample_interrupts NMI_STEP
        .res nmi_page + $100 - *

; The handler for sample n of a byte with I/O switched out.
.macro  hidden_handler value, next
        sta hidden_a+1
        lda CPU_PORT
        sta hidden_port+1
        lda #CPU_PORT_RAM_IO
        sta CPU_PORT
        lda value+1
        sta SID_VOLUME
        lda #<next
        sta NMI_VECTOR
        bit CIA2_ICR
hidden_port:
        lda #0
        sta CPU_PORT
hidden_a:
        lda #0
        rti
.endmacro

nmi_hidden_page:
.scope
        hidden_handler nmi_value0, nmi1
.endscope
        .res nmi_hidden_page + NMI_STEP - *
.scope
        hidden_handler nmi_value1, nmi2
.endscope
        .res nmi_hidden_page + 2 * NMI_STEP - *
.scope
        hidden_handler nmi_value2, nmi3
.endscope
        .res nmi_hidden_page + 3 * NMI_STEP - *
.scope
        sta hidden_a+1
        lda CPU_PORT
        sta hidden_port+1
        lda #CPU_PORT_RAM_IO
        sta CPU_PORT
        lda nmi_value3+1
        sta SID_VOLUME
        stx hidden_x+1
        tya
        pha
        lda nmi_read+1              ; the first page's read address
        sta hidden_pointer
        lda nmi_read+2
        sta hidden_pointer+1
        ldy #0
        lda (hidden_pointer),y
        tax
        pla
        tay
        first_sample_value_of_x
        lda #<nmi0
        sta NMI_VECTOR
        bit CIA2_ICR
        later_sample_values_of_x
        advance_ring_read
hidden_port:
        lda #0
        sta CPU_PORT
hidden_x:
        ldx #0
hidden_a:
        lda #0
        rti
.endscope
        .res nmi_hidden_page + $100 - *
        operation_table_bytes
