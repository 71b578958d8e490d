; The stream players' operation interpreter (vicpack/machine/stream_operations.inc), as the C64's runs it, in
; the sim65 simulator, with the RAM expansion unit emulated in 6502 code (emulated_reu.inc), so that the test
; can hold it against the format library's replay of the operations. The unit's registers are plain memory at 0xDF00;
; its memory is a window at 0x1000: the table of byte values at 0x1100, the scratch at 0x1200, and each page
; of operations at 0x1400 + (its number mod 4) × 0x100, where the harness reads it from the input before the
; interpreter fetches it. The harness and the interpreter lie where the player keeps itself (0x0000-0x03FF,
; 0x1000-0x1FFF, 0x9000-0x9FFF), so that the operations may write anywhere else.
;
; Input (the file named by the first argument): the operation pages. Output (standard output): at every Show
; its nine values (the display registers, the frame's number and due ticks), then the memory 0x0400-0x0FFF,
; 0x2000-0x8FFF and 0xA000-0xFFFF. The count of cycles it took is on standard error when sim65 gives it.
        .setcpu "6502"
        .include "registers.inc"
        .include "reu.inc"
EMULATED_REU    = 1

pbuf            = $0300
WINDOW          = $1000
PAGES_WINDOW    = WINDOW + $400
FIRST_PAGE      = $0100             ; the unit's address of the first page, bits 8-23

        .segment "EXEHDR"
        .byte "sim65", 2, 0, c_stack ; version 2, a 6502, the C stack pointer at c_stack
        .word $9000, start           ; load address, start

        .segment "ZEROPAGE"
c_stack:        .res 2              ; sim65's parameters are read through this
emulated_command: .res 1
host:           .res 2
unit_address:   .res 3
transfer_left:  .res 2
window:         .res 2
input:          .res 2              ; the input's file descriptor
temp:           .res 1
argv:           .res 2
scratch:        .res 3

.macro  hide_interrupts
.endmacro
.macro  show_interrupts
.endmacro

; The unit transfers at any speed the processor runs at.
.macro  slow_for_transfers
.endmacro
.macro  speed_after_transfers
.endmacro

        .include "stream_operations.inc"

        .segment "TABLE"
        operation_table_bytes       ; (at 0x9000, before the code)

        .segment "CODE"
value_table:    .faraddr $000100
parameters:     .res 4

        .include "sim65.inc"

start:
        ldx #$FF
        txs
        open_input $03
        lda #0                      ; the memory the operations write, zero as the player leaves it
        tay
        ldx #$04
:       stx clear+2
clear:  sta $FF00,y
        iny
        bne clear
        inx
        cpx #$10
        bne :+
        ldx #$20
:       cpx #$90
        bne :+
        ldx #$A0
:       cpx #0
        bne :---
        ldx #0                      ; the unit's table of byte values, its registers
:       txa
        sta WINDOW+$100,x
        inx
        bne :-
        lda #0
        ldx #$0A
:       sta REU_HOST-2,x
        dex
        bpl :-
        sta scratch                 ; the unit's scratch at 0x000200
        sta scratch+2
        lda #$02
        sta scratch+1
        lda #<FIRST_PAGE            ; the first page, as the player starts
        sta opage
        lda #>FIRST_PAGE
        sta opage+1
        jsr between_pages
        jsr fetch_page
        lda #0
        sta op_index
next_frame:
        jsr run_operations
        bcc :+
        lda #0
        jmp PV_EXIT
:       lda #9
        ldx #0
        pv_call PV_WRITE, shown_d018, standard_output
        lda #<$0C00
        ldx #>$0C00
        pv_call PV_WRITE, $0400, standard_output
        lda #<$7000
        ldx #>$7000
        pv_call PV_WRITE, $2000, standard_output
        lda #<$6000
        ldx #>$6000
        pv_call PV_WRITE, $A000, standard_output
        jmp next_frame
standard_output: .word 1

; Before the interpreter fetches the page opage: the input's next page into its place in the unit.
between_pages:
        lda #0
        sta parameters
        lda opage
        and #3
        clc
        adc #>PAGES_WINDOW
        sta parameters+1
        lda input
        sta parameters+2
        lda input+1
        sta parameters+3
        lda #<parameters
        sta c_stack
        lda #>parameters
        sta c_stack+1
        lda #0
        ldx #1
        jmp PV_READ

; window = where the unit's address lies in the window: the table and the scratch in the unit's first KiB,
; a page of operations at its place.
window_of:
        lda unit_address+2
        bne :+
        lda unit_address+1
        and #3
        ora #>WINDOW
        sta window+1
        lda unit_address
        sta window
        rts
:       lda unit_address+1
        and #3
        clc
        adc #>PAGES_WINDOW
        sta window+1
        lda unit_address
        sta window
        rts

        .include "emulated_reu.inc"
