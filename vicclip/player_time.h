// Compiling for a player: the time a frame's commands take the player of a program (vicpack's timing
// model of the C64's or the C128's player), for the muxer's account (frameconv/video/player_cost.h).
#pragma once

#include "frameconv/video/player_cost.h"
#include "vicpack/player_timing.h"
#include "vicpack/stream_translation.h"

namespace zov {

class PlayerTime final : public PlayerCost {
public:
    /// The player of machine with its clock's tick of tickPeriod cycles (streamClock's period).
    PlayerTime(const PlayerMachine& machine, int tickPeriod) : machine_(machine), tickPeriod_(tickPeriod) {}

    double frameSeconds(const std::uint8_t* commands, std::size_t length) override;
    void accept() override {
        frames_.accept();
        ++accepted_;
    }
    /// The frames measured but not accepted: the pictures left out for the player's time (the muxer measures
    /// only what is within its bytes).
    int refused() const { return measured_ - accepted_; }
    double switchWait() const override { return longestSwitchWait(machine_); }

private:
    const PlayerMachine& machine_;
    int tickPeriod_;
    FrameTranslator frames_;
    int measured_ = 0, accepted_ = 0;
};

}  // namespace zov
