; Plays a sound through the SID's volume register, one sample per timer interrupt, then returns to BASIC.
; BITS (8, 4 or 2) is the width of a sample: a byte holds 8 / BITS of them. Each sample is looked up in a
; table of volume register values made for the chip model found at the start; the table of a sample's
; place in its byte sits on its own page, so the bits need no shifting.
        .include "basic_start.inc"

PHASES          = 8 / BITS          ; samples per byte, and table pages per chip model

; Settings, filled in by vicpack.
        .segment "SETTINGS"
period:         .word 0             ; cycles between samples, less one (the timer's count)
first_byte:     .word 0             ; address of the first sample byte
end_page:       .byte 0             ; the sample bytes end at the start of this page
ramp_page:      .byte 0             ; 64 volume values each: rising on the 6581, on the 8580, falling on each
; Per chip model, the 6581 first, then the 8580:
table_pages:    .byte 0, 0          ; the first table page
voice1_control: .byte 0, 0          ; voice 1's waveform: the level it holds depends on it
voice1_sustain: .byte 0, 0          ; voice 1's sustain level
routing:        .byte 0, 0          ; 0xD417: the voices that go through the filter
        .segment "CODE"

SID             = $D400
VOLUME          = $D418
CIA2_ICR        = $DD0D
CIA2_CONTROL_A  = $DD0E
NMI_VECTOR      = $FFFA             ; read from RAM while the KERNAL ROM is switched out

start:
        sei                         ; nothing but the sample interrupt from here to the end
        lda $D011
        sta saved_control
        and #$EF                    ; screen off: the chip then steals no cycles, so samples come on time
        sta $D011
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
        lda end_page
        sta last_page+1
        lda ramp_page
        sta ramp+2
        lda model                   ; rise from silence to the middle level over a quarter second
        .repeat 6               ; model * 64: its ramps on the ramp page
        asl
        .endrep
        jsr ramp_volume
        jsr play
        lda model                   ; and fall back
        .repeat 6               ; model * 64: its ramps on the ramp page
        asl
        .endrep
        ora #$80
        jsr ramp_volume
        jsr clear_sid
        lda saved_control
        sta $D011
        cli
        rts

; Plays every sample at the timer's pace with the KERNAL ROM switched out (its RAM holds the NMI vector and
; may hold samples), and comes back when the last one has sounded.
play:
        lda #$35                    ; RAM at 0xA000-0xBFFF and 0xE000-0xFFFF, I/O stays
        sta $01
        lda #<on_sample
        sta NMI_VECTOR
        lda #>on_sample
        sta NMI_VECTOR+1
        lda period
        sta $DD04
        lda period+1
        sta $DD05
        lda #$7F
        sta CIA2_ICR
        lda CIA2_ICR
        lda #1
        sta playing
        lda #$81                    ; timer A underflow gives an NMI
        sta CIA2_ICR
        lda #$11                    ; start timer A, continuous, from the full count
        sta CIA2_CONTROL_A
wait_end:
        lda playing
        bne wait_end
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
        lda CIA2_ICR
        lda #$37
        sta $01
        rts

; The sample interrupt: sounds the value found last time, then looks up the next one.
on_sample:
        pha
value:  lda #0
        sta VOLUME
        lda CIA2_ICR                ; acknowledge
        txa
        pha
sample: ldx $FFFF
table:  lda $FF00,x
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
        inc sample+2
        lda sample+2
last_page:
        cmp #0
        bne done
        lda #$09                    ; the last value is read: one more interrupt sounds it, then the timer stops
        sta CIA2_CONTROL_A
        lda #0
        sta playing
        beq done

; Steps through 64 volume values from offset A of the ramp page, 4 ms each.
ramp_volume:
        tay
        ldx #64
ramp:   lda $FF00,y
        sta VOLUME
        sta value+1
        jsr wait_4ms
        iny
        dex
        bne ramp
        rts

        .include "sid_model.inc"
        .include "sid_voices.inc"

saved_control:  .byte 0
model:          .byte 0
nonzero:        .word 0
playing:        .byte 0
delay_count:    .byte 0
