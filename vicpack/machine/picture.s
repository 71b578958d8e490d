; Shows a bitmap picture until a key is pressed, then gives BASIC its text screen back as it was.
        .include "registers.inc"
        .include "machine_numbers.inc"
        .include "basic_start.inc"

; Settings, filled in by vicpack.
        .segment "SETTINGS"
border:         .byte 0             ; border colour
background:     .byte 0             ; background colour (pixel value 00)
control2:       .byte 0             ; 0xD016: 0x18 multicolour, 0x08 hi-res
has_colour_ram: .byte 0             ; nonzero: the Colour RAM bytes follow the bitmap
source:         .word 0             ; screen matrix (1000 bytes), then bitmap (8000), then Colour RAM (1000)
        .segment "CODE"

; The chip shows bank 3 (0xC000-0xFFFF): unlike banks 0 and 2 it holds no image of the character ROM, so
; the chip reads from RAM whatever lies there. The bitmap goes under the KERNAL ROM, where the CPU writes
; RAM and the chip reads it; 0xC000-0xCFFF is free RAM that BASIC never uses.
MATRIX          = $C000
BITMAP          = $E000
SAVED_COLOURS   = $C400             ; the text screen's Colour RAM while the picture shows
FROM            = $FB               ; zero-page pointers free for programs
TO              = $FD

start:
        jsr save_chip
        lda VIC_CONTROL_1           ; screen off while the picture is put in place
        and #$EF
        sta VIC_CONTROL_1
        lda #<COLOUR_RAM
        ldx #>COLOUR_RAM
        ldy #>SAVED_COLOURS
        jsr copy_1k
        jsr show_picture
        lda #0
        sta KEYS_WAITING            ; a key pressed before the picture showed does not count
wait_key:
        jsr GETIN
        beq wait_key
        lda VIC_CONTROL_1
        and #$EF
        sta VIC_CONTROL_1
        lda #<SAVED_COLOURS
        ldx #>SAVED_COLOURS
        ldy #>COLOUR_RAM
        jsr copy_1k
        jmp restore_chip

; Copies the picture's parts where the chip reads them and switches to its mode and bank.
show_picture:
        lda source
        ldx source+1
        ldy #>MATRIX
        jsr copy_1k
        lda source                  ; the bitmap follows the 1000 matrix bytes
        clc
        adc #<1000
        sta FROM
        lda source+1
        adc #>1000
        sta FROM+1
        lda #0
        sta TO
        lda #>BITMAP
        sta TO+1
        ldx #32                     ; 8192 bytes: the 8000 of the bitmap and what follows, never shown
        jsr copy_pages
        lda has_colour_ram
        beq colours
        lda FROM                    ; 8192 bytes on: the Colour RAM bytes begin 192 bytes back
        sec
        sbc #192
        pha
        lda FROM+1
        sbc #0
        tax
        pla
        ldy #>COLOUR_RAM
        jsr copy_1k
colours:
        lda border
        sta VIC_BORDER
        lda background
        sta VIC_BACKGROUND
        lda control2
        sta VIC_CONTROL_2
        lda #$08                    ; matrix at bank + 0x0000, bitmap at bank + 0x2000
        sta VIC_MEMORY
        lda CIA2_PORT_A
        and #$FC                    ; bank 3
        sta CIA2_PORT_A
        lda #BITMAP_SCREEN_CONTROL  ; bitmap mode, screen on, 25 rows
        sta VIC_CONTROL_1
        rts

; Copies 1024 bytes from A (low) / X (high) to page Y.
copy_1k:
        sta FROM
        stx FROM+1
        lda #0
        sta TO
        sty TO+1
        ldx #4
; Copies X pages from (FROM) to (TO).
copy_pages:
        ldy #0
copy_byte:
        lda (FROM),y
        sta (TO),y
        iny
        bne copy_byte
        inc FROM+1
        inc TO+1
        dex
        bne copy_byte
        rts

save_chip:
        ldx #4
save_next:
        ldy chip_registers,x
        lda VIC,y
        sta saved,x
        dex
        bpl save_next
        lda CIA2_PORT_A
        sta saved_bank
        rts

restore_chip:
        lda CIA2_PORT_A             ; the bank bits only: the others drive the serial bus
        and #$FC
        sta CIA2_PORT_A
        lda saved_bank
        and #$03
        ora CIA2_PORT_A
        sta CIA2_PORT_A
        ldx #4
restore_next:
        ldy chip_registers,x
        lda saved,x
        sta VIC,y
        dex
        bpl restore_next
        rts

chip_registers: .byte VIC_CONTROL_1 - VIC, VIC_CONTROL_2 - VIC, VIC_MEMORY - VIC
                .byte VIC_BORDER - VIC, VIC_BACKGROUND - VIC
saved:          .res 5
saved_bank:     .byte 0
