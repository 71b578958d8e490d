; The stream player's command interpreter (vicpack/machine/stream_commands.inc) in the sim65 simulator, with
; the RAM expansion unit emulated in 6502 code, so that the test can hold it against the format library's
; segment player on many frames. The unit's registers are plain memory at 0xDF00; a transfer runs when the
; interpreter would start it, with what the unit does: the addresses run on unless held, the unit's address
; counts inside 512 KiB only, the length register reads 1 afterwards, unless the command asks for autoload. The unit's memory is a 4 KiB window
; at 0xE000 that every unit address maps to (window below).
;
; Input (the file named by the first argument): records of a kind byte (1: a packet, 0: the end), the
; commands' length (16 bits), the unit address the packet's commands lie at (24 bits) and the commands. The
; harness puts each into the emulated unit, fetches it into the packet buffer as the player does and runs
; it. Output (standard output): at every Frame command its three display values, then the frame memory
; 0x0200-0xBFFF.
        .setcpu "6502"
        .include "registers.inc"
        .include "reu.inc"
        .include "machine_numbers.inc"
EMULATED_REU    = 1

pbuf            = $F000
WINDOW          = $E000             ; the emulated unit's memory, 4 KiB
FRAME_BYTES     = FRAME_MEMORY_END - FRAME_MEMORY_BASE

        .segment "EXEHDR"
        .byte "sim65", 2, 0, c_stack ; version 2, a 6502, the C stack pointer at c_stack
        .word $C000, start           ; load address, start

        .segment "ZEROPAGE"
c_stack:        .res 2              ; sim65's parameters are read through this
emulated_command: .res 1
; The emulation's.
host:           .res 2
unit_address:   .res 3
transfer_left:  .res 2
window:         .res 2
input:          .res 2              ; the input's file descriptor
temp:           .res 1
argv:           .res 2

        .include "stream_commands.inc"

        .segment "CODE"
value_table:    .faraddr $000100
record:         .res 6              ; kind, length, unit address
parameters:     .res 4

        .include "sim65.inc"

start:
        ldx #$FF
        txs
        open_input $F8
        lda #0                      ; the unit's table of byte values, its registers, the frame memory
        tax
:       txa
        sta unit_address
        lda #$01
        sta unit_address+1
        lda #0
        sta unit_address+2
        jsr window_of
        txa
        ldy #0
        sta (window),y
        inx
        bne :-
        lda #0
        ldx #REU_CONTROL - REU_STATUS
:       sta REU_STATUS,x
        dex
        bpl :-
        sta scratch                 ; the unit's scratch at 0x000200
        sta scratch+2
        lda #$02
        sta scratch+1
        lda #<FRAME_MEMORY_BASE
        sta dst
        lda #>FRAME_MEMORY_BASE
        sta dst+1
        ldy #0
        tya
:       sta (dst),y
        iny
        bne :-
        inc dst+1
        ldx dst+1
        cpx #>FRAME_MEMORY_END
        bne :-
        sta dst
        sta dst+1
        sta ref
        sta ref+1
        sta frame_done

next_record:
        lda #6
        ldx #0
        jsr read_input
        lda record
        bne :+
        lda #0
        jmp PV_EXIT
:       lda record+1
        ldx record+2
        jsr read_input_to_pbuf
        jsr packet_into_unit
        jsr clear_pbuf
        lda record+1
        beq next_record
        ldx #2
:       lda record+3,x
        sta preu,x
        dex
        bpl :-
        lda record+1                ; as the player fetches a packet
        sta pend
        jsr fetch_packet
        ldx #0
        jsr run_commands
        lda frame_done
        beq next_record
        lda #0
        sta frame_done
        lda #3
        ldx #0
        pv_call PV_WRITE, frame_m1, standard_output
        lda #<FRAME_BYTES
        ldx #>FRAME_BYTES
        pv_call PV_WRITE, FRAME_MEMORY_BASE, standard_output
        jmp next_record
standard_output: .word 1

; Reads A/X bytes of the input into record.
read_input:
        pv_call PV_READ, record, input
        rts

; Reads A/X bytes of the input into pbuf.
read_input_to_pbuf:
        pv_call PV_READ, pbuf, input
        rts

; Fills pbuf with a byte no command begins with, so that the fetch must fill it.
clear_pbuf:
        lda #$EE
        ldy #0
:       sta pbuf,y
        iny
        bne :-
        rts

; Puts the packet read into pbuf into the unit at its address, a byte at a time, each at its own address
; (as the image holds it: across a 512 KiB boundary too).
packet_into_unit:
        ldx #2
:       lda record+3,x
        sta unit_address,x
        dex
        bpl :-
        ldx #0
next_byte:
        cpx record+1
        beq packet_placed
        jsr window_of
        lda pbuf,x
        ldy #0
        sta (window),y
        inc unit_address
        bne :+
        inc unit_address+1
        bne :+
        inc unit_address+2
:       inx
        bne next_byte
packet_placed:
        rts

; window = WINDOW + (unit address's low 16 bits + its bank × 0x0B00) mod 0x1000: addresses 512 KiB apart
; map to different places.
window_of:
        lda unit_address+2          ; (bank × 11)
        asl
        asl
        clc
        adc unit_address+2
        asl
        clc
        adc unit_address+2
        clc
        adc unit_address+1
        and #$0F
        ora #>WINDOW
        sta window+1
        lda unit_address
        sta window
        rts

        .include "emulated_reu.inc"
