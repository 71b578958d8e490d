// Compiling for a player: what the muxer asks of the player it compiles for. A frame's cost in the player's
// time is charged beside its cost in bytes, so that every frame is ready when it is due. The muxer knows no
// player: the program that compiles for one supplies this (vicclip, from vicpack's timing model).
#pragma once

#include <cstddef>
#include <cstdint>

namespace zov {

class PlayerCost {
public:
    virtual ~PlayerCost() = default;
    /// The seconds the player takes to make a frame of these segment commands ready, from the moment the
    /// frame before it is on screen (it cannot start sooner: a frame may write into the buffer shown before it).
    virtual double frameSeconds(const std::uint8_t* commands, std::size_t length) = 0;
    /// The frame measured last goes into the stream: the frames after it find what it wrote.
    virtual void accept() = 0;
    /// The longest a frame ready at its time may wait before it is switched in.
    virtual double switchWait() const = 0;
};

}  // namespace zov
