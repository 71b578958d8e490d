; Steps the SID's volume register through its 256 values for a recording of the levels they give: sets the
; voices up as the sound program does, then holds the register at 0x00 and at each value in turn, one
; stretch of 10 ms each (0x00, 0x00, 0x00, 0x01, ..., 0x00, 0xFF, 0x00), so that every value lies between
; two stretches at 0x00. A stretch at MARKER, with silence before and after, shows where the steps begin in
; the recording. Then returns to BASIC.
        .include "registers.inc"
        .include "basic_start.inc"

; Settings, filled in by sid_level_meter: the sound program's set-up of one chip model.
        .segment "SETTINGS"
voice1_control: .byte $49           ; 0xD404
voice1_sustain: .byte $F0           ; 0xD406
routing:        .byte $01           ; 0xD417
        .segment "CODE"

STRETCH         = 9852              ; cycles: 10 ms of a PAL machine (985248 cycles a second)
SILENCE         = 50                ; stretches at 0x00 around the marker: the recording's slow filter settles
MARKER          = $0F

start:
        sei                         ; the timer is polled; nothing else runs
        lda VIC_CONTROL_1
        sta saved_control
        and #$EF                    ; screen off: the chip then steals no cycles, so each value comes on time
        sta VIC_CONTROL_1
        lda #$7F
        sta CIA2_ICR                ; no interrupt from the timer
        lda #<(STRETCH - 1)
        sta CIA2_TIMER_A
        lda #>(STRETCH - 1)
        sta CIA2_TIMER_A+1
        lda #$11                    ; start timer A, continuous, from the full count
        sta CIA2_CONTROL_A
        jsr clear_sid
        jsr set_up_voices
        lda #0
        ldx #SILENCE
        jsr hold
        lda #MARKER
        ldx #1
        jsr hold
        lda #0
        ldx #SILENCE
        jsr hold
step:   lda #0                      ; value is 0 here, and again after its 256 steps
        jsr sound
        lda value
        jsr sound
        inc value
        bne step
        lda #0
        ldx #SILENCE
        jsr hold
        sta CIA2_CONTROL_A          ; stop the timer
        lda CIA2_ICR
        jsr clear_sid
        lda saved_control
        sta VIC_CONTROL_1
        cli
        rts

; Holds the volume register at A for X stretches.
hold:   jsr sound
        dex
        bne hold
        rts

; Waits for the timer's next underflow, where a stretch begins, then sets the volume register to A (kept).
sound:  tay
wait:   lda CIA2_ICR
        lsr                         ; timer A's underflow into the carry
        bcc wait
        sty SID_VOLUME
        tya
        rts

; The set-up waits here for the envelopes to reach their levels: a stretch at 0x00, longer than they need.
wait_4ms:
        lda #0
        jmp sound

        .include "sid_voices.inc"

model:          .byte 0             ; the settings hold one model's
value:          .byte 0
saved_control:  .byte 0
