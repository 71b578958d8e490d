; Plays a sound through the SID's volume register, one sample per timer interrupt, then returns to BASIC
; with its interrupt flag and memory configuration (0x01) as they were; a key press ends it early. BITS (8, 4
; or 2) is the width of a sample: a byte holds 8 / BITS of them. Each sample is looked up in a table of
; volume register values made for the chip model found at the start; the table of a sample's place in its
; byte sits on its own page, so the bits need no shifting.
; With REU defined the samples come from a RAM expansion unit: the interrupt reads them from a ring of one
; page, which the main loop refills from the unit in pieces small enough that no interrupt is lost.
        .include "registers.inc"
        .include "basic_start.inc"
.ifdef REU
        .include "reu.inc"
.endif
        .include "machine_numbers.inc"

PHASES          = 8 / BITS          ; samples per byte, and table pages per chip model
MARK_SIZE       = REU_SOUND_MARK_BYTES  ; bytes of the mark by which a unit's contents are known as the sound's

; Settings, filled in by vicpack.
        .segment "SETTINGS"
period:         .word 0             ; cycles between samples, less one (the timer's count)
first_byte:     .word 0             ; address of the first sample byte (with REU: in the ring page)
.ifndef REU
end_page:       .byte 0             ; the sample bytes end at the start of this page
.endif
ramp_page:      .byte 0             ; 64 volume values each: rising on the 6581, on the 8580, falling on each
; Per chip model, the 6581 first, then the 8580:
table_pages:    .byte 0, 0          ; the first table page
voice1_control: .byte 0, 0          ; voice 1's waveform: the level it holds depends on it
voice1_sustain: .byte 0, 0          ; voice 1's sustain level
routing:        .byte 0, 0          ; 0xD417: the voices that go through the filter
.ifdef REU
first_sample:   .byte 0, 0, 0       ; unit address of the first sample byte; its low byte is first_byte's
sound_end:      .byte 0, 0, 0       ; unit address after the last sample: a page boundary; the mark again
mark:           .res MARK_SIZE      ; what the unit holds at address 0 and at sound_end
unit_kib:       .word 0             ; the unit's size in KiB, for the line that asks for it
.endif
        .segment "CODE"

; The offset of the model's ramps on the ramp page from the model (0 or 1) in A: model × 64.
.macro  model_ramps
        lsr                         ; bit 0 into the carry,
        ror                         ; into bit 7,
        ror                         ; into bit 6
.endmacro

start:
.ifdef REU
        jsr find_unit
        bcc unit_found
        rts                         ; its line is printed: back to BASIC
unit_found:
.endif
        php                         ; the caller's interrupt flag, taken back at the end
        sei                         ; nothing but the sample interrupt from here to the end
        lda VIC_CONTROL_1
        sta saved_control
        and #$EF                    ; screen off: the chip then steals no cycles, so samples come on time
        sta VIC_CONTROL_1
        jsr clear_sid
        jsr find_model
        jsr set_up_voices
        ldx model
        lda table_pages,x
        sta table+2
        lda first_byte
        sta sample+1
        lda first_byte+1
        sta sample+2
.ifdef REU
        lda sound_end+1             ; the page ends from the first sample's page to the end
        sec
        sbc first_sample+1
        sta pages_left
        lda sound_end+2
        sbc first_sample+2
        sta pages_left+1
        lda first_sample            ; the pieces start with the one that holds the first sample
        and #<-REU_PIECE
        sta next_piece
        lda first_sample+1
        sta next_piece+1
        lda first_sample+2
        sta next_piece+2
.else
        lda end_page
        sta last_page+1
.endif
        lda ramp_page
        sta ramp+2
        .assert RAMP_STEPS = 64 && RAMP_FALLING = 2 * RAMP_STEPS, error, "the ramps at model × 64"
        lda model                   ; rise from silence to the middle level over a quarter second
        model_ramps
        jsr ramp_volume
        jsr play
        lda model                   ; and fall back
        model_ramps
        ora #RAMP_FALLING
        jsr ramp_volume
        jsr clear_sid
        lda saved_control
        sta VIC_CONTROL_1
        plp
        rts

; Plays every sample at the timer's pace with the KERNAL ROM switched out (its RAM holds the NMI vector and
; may hold samples), and comes back when the last one has sounded.
play:
        lda CPU_PORT                ; the caller's configuration, taken back at the end
        pha
        lda #CPU_PORT_RAM_IO        ; RAM at 0xA000-0xBFFF and 0xE000-0xFFFF, I/O stays
        sta CPU_PORT
        lda #<on_sample
        sta NMI_VECTOR
        lda #>on_sample
        sta NMI_VECTOR+1
        lda period
        sta CIA2_TIMER_A
        lda period+1
        sta CIA2_TIMER_A+1
        lda #$7F
        sta CIA2_ICR
        lda CIA2_ICR
        lda #0
        sta KEYS_WAITING            ; a key pressed before the sound began does not count
        sta keys_released
.ifdef REU
        sta playing                 ; no interrupt to wait for while the ring fills
        sta REU_CONTROL             ; both addresses count up
        jsr move_piece              ; the piece with the first sample, then as many as the ring has room for
fill_ring:
        jsr refill
        bcc fill_ring
.endif
        lda #1
        sta playing
        lda #$81                    ; timer A underflow gives an NMI
        sta CIA2_ICR
        lda #$11                    ; start timer A, continuous, from the full count
        sta CIA2_CONTROL_A
wait_end:
.ifdef REU
        jsr refill
.endif
        jsr check_key
        bcs key_ends
        lda playing
        bne wait_end
        beq wait_stop
key_ends:
        lda #$7F                    ; no further interrupt, and the timer stands
        sta CIA2_ICR
        lda #0
        sta CIA2_CONTROL_A
wait_stop:
        lda CIA2_CONTROL_A          ; the timer stops after the interrupt that sounds the last sample
        and #1
        bne wait_stop
        ldx #20                     ; let that interrupt end
settle:
        dex
        bne settle
        lda #$7F
        sta CIA2_ICR
        sta CIA1_PORT_A             ; the column the KERNAL reads the STOP key from, as its scan leaves it
        lda CIA2_ICR
        pla
        sta CPU_PORT
        rts

; The sample interrupt: sounds the value found last time, then looks up the next one. It writes its own
; operands: value's is the volume value to sound next, sample's the address of the byte with the next
; sample, table's high byte the table page of the next sample's place in its byte. On every sample but a
; page's last it takes SAMPLE_CYCLES, the interrupt's own 7 included; the shortest timer period leaves room
; besides for the longest instruction that the interrupt may wait for (7 cycles).
.if PHASES > 1
SAMPLE_CYCLES   = 87                ; the last sample of a byte, which moves to the next
        .assert SAMPLE_CYCLES + 7 <= SHORTEST_PERIOD_PACKED, error, "the sample interrupt outlasts the period"
.else
SAMPLE_CYCLES   = 61
        .assert SAMPLE_CYCLES + 7 <= SHORTEST_PERIOD8, error, "the sample interrupt outlasts the period"
.endif
on_sample:
        pha
value:  lda #0                      ; (the volume value)
        sta SID_VOLUME
        lda CIA2_ICR                ; acknowledge
        txa
        pha
sample: ldx $FFFF                   ; (the next sample's byte)
table:  lda $FF00,x                 ; (its place's table page)
        sta value+1
.if PHASES > 1
        inc table+2                 ; the next sample in the byte has its own table page
        lda table+2
        and #PHASES - 1
        bne done
        lda table+2
        sec
        sbc #PHASES
        sta table+2
.endif
        inc sample+1
        beq next_page
done:   pla
        tax
        pla
        rti
next_page:
.ifdef REU
        lda pages_left              ; the ring is one page: count the page ends up to the sound's end
        bne low_only
        dec pages_left+1
low_only:
        dec pages_left
        bne done
        lda pages_left+1
        bne done
.else
        inc sample+2
        lda sample+2
last_page:
        cmp #0
        bne done
.endif
        lda #$09                    ; the last value is read: one more interrupt sounds it, then the timer stops
        sta CIA2_CONTROL_A
        lda #0
        sta playing
        beq done

; Carry set when a key is down that was up at some time since the sound began (the RETURN of RUN may still
; be held then), or when a key waits in the keyboard buffer: the keyboard scan is off, but emulators type
; into the buffer.
check_key:
        lda KEYS_WAITING
        bne key_down
        lda #0                      ; every column
        sta CIA1_PORT_A
        lda CIA1_PORT_B
        cmp #$FF                    ; no row pulled down: no key
        beq no_key
        lda keys_released
        beq key_held
key_down:
        sec
        rts
no_key:
        sta keys_released
key_held:
        clc
        rts

; Steps through RAMP_STEPS volume values from offset A of the ramp page, 4 ms each.
ramp_volume:
        tay
        ldx #RAMP_STEPS
ramp:   lda $FF00,y                 ; (the ramp page)
        sta SID_VOLUME
        sta value+1
        jsr wait_4ms
        iny
        dex
        bne ramp
        rts

        .include "sid_model.inc"

.ifdef REU
; Carry clear when the unit holds this sound's mark at address 0 and after the samples (where a smaller
; unit wraps round); otherwise prints the line that asks for the sound's image and the unit's size. Reading
; where no unit answers leaves the bytes as they were: they are set to differ from the mark first.
find_unit:
        lda #0
        sta REU_CONTROL
        tax
        tay
        jsr mark_at
        bne no_unit
        ldx sound_end
        ldy sound_end+1
        lda sound_end+2
        jsr mark_at
        bne no_unit
        clc
        rts
no_unit:
        ldx #0
print_line:
        lda no_unit_line,x
        beq print_size
        jsr CHROUT
        inx
        bne print_line
print_size:
        ldx unit_kib
        lda unit_kib+1
        jsr PRINT_NUMBER
        ldx #0
print_end:
        lda no_unit_end,x
        beq printed
        jsr CHROUT
        inx
        bne print_end
printed:
        sec
        rts

; Z set when the MARK_SIZE bytes at unit address X (low), Y, A (bank) are the mark.
mark_at:
        sta REU_ADDRESS+2
        stx REU_ADDRESS
        sty REU_ADDRESS+1
        ldx #MARK_SIZE - 1
unlike_mark:
        lda mark,x
        eor #$FF
        sta seen,x
        dex
        bpl unlike_mark
        lda #<seen
        sta REU_HOST
        lda #>seen
        sta REU_HOST+1
        lda #MARK_SIZE
        sta REU_LENGTH
        lda #0
        sta REU_LENGTH+1
        lda #REU_TO_HOST
        sta REU_COMMAND
        ldx #MARK_SIZE
compare_mark:
        lda seen-1,x
        cmp mark-1,x
        bne marked
        dex
        bne compare_mark            ; Z set when the loop ends
marked: rts

; Moves the next piece into the ring when the sound has one left and the ring has room for it; carry clear
; when it did. The ring holds the bytes from the one the interrupt reads next up to next_piece, whose low
; byte is the ring's index too: it stays short of a full page, which would look empty.
refill:
        lda next_piece
        cmp sound_end
        bne more_left
        lda next_piece+1
        cmp sound_end+1
        bne more_left
        lda next_piece+2
        cmp sound_end+2
        beq no_piece
more_left:
        lda next_piece
        sec
        sbc sample+1
        cmp #256 - REU_PIECE
        bcc move_piece
no_piece:
        sec
        rts

; Moves REU_PIECE bytes from unit address next_piece into the ring at the same low byte, and counts on.
; While samples play it starts right after an interrupt, so that at the usual rates it ends before the next.
move_piece:
        lda next_piece
        sta REU_HOST
        sta REU_ADDRESS
        lda first_byte+1
        sta REU_HOST+1
        lda next_piece+1
        sta REU_ADDRESS+1
        lda next_piece+2            ; the bank, from RAM: the unit's register reads back only its low bits
        sta REU_ADDRESS+2
        lda #REU_PIECE
        sta REU_LENGTH
        lda #0
        sta REU_LENGTH+1
        ldx #REU_TO_HOST
        lda playing
        beq move_now
        lda sample+1                ; changes in every interrupt that moves on a byte
wait_interrupt:
        ldy playing                 ; (none comes after the last)
        beq move_now
        cmp sample+1
        beq wait_interrupt
move_now:
        stx REU_COMMAND
        lda next_piece              ; pieces never cross a 512 KiB boundary, where the unit's address wraps
        clc
        adc #REU_PIECE
        sta next_piece
        bcc moved
        inc next_piece+1
        bne moved
        inc next_piece+2
moved:  clc
        rts

no_unit_line:   .byte "NO REU IMAGE OF THIS SOUND (", 0
no_unit_end:    .byte " KB)", 13, 0
next_piece:     .byte 0, 0, 0
pages_left:     .word 0
seen:           .res MARK_SIZE
.endif

        .include "sid_voices.inc"

saved_control:  .byte 0
model:          .byte 0
nonzero:        .word 0
playing:        .byte 0
delay_count:    .byte 0
keys_released:  .byte 0
