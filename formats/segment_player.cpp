#include "formats/segment_player.h"

#include "formats/segment_commands.h"

namespace zov {

bool SegmentPlayer::inMemory(std::int64_t start, std::int64_t count) {
    return count <= 0 || (start >= kTargetBase && start + count <= kTargetEnd);
}

PlayError SegmentPlayer::playCommand(const std::uint8_t* bytes, std::size_t available, int* commandLength) {
    SegmentCommand command;
    DecodeStatus status = decodeCommand(bytes, available, command);
    if (status == DecodeStatus::Invalid) return PlayError::InvalidCommand;
    if (status == DecodeStatus::Truncated) return PlayError::TruncatedCommand;
    if (PlayError error = playDecoded(command); error != PlayError::None) return error;
    *commandLength = command.length;
    return PlayError::None;
}

PlayError SegmentPlayer::playDecoded(const SegmentCommand& command) {
    std::int64_t destination = destination_;
    switch (command.kind) {
        case CommandKind::Raw:
        case CommandKind::Fill: {
            if (!inMemory(destination, command.count)) return PlayError::AddressOutOfRange;
            for (int i = 0; i < command.count; ++i) {
                memory_.at(destination_ + i) = command.kind == CommandKind::Raw ? command.data[i] : command.data[0];
            }
            destination_ += command.count;
            break;
        }
        case CommandKind::Skip: destination_ += command.count; break;
        case CommandKind::SetDestination: destination_ = reference_ = command.count; break;
        case CommandKind::Copy:
        case CommandKind::AbsoluteCopy: {
            std::int64_t source = command.kind == CommandKind::Copy ? std::int64_t{reference_} + command.offset
                                                                    : command.offset;
            std::int64_t written = std::int64_t{command.unit} * command.repeats;
            std::int64_t read = command.repeats > 0 ? command.unit : 0;
            if (!inMemory(source, read) || !inMemory(destination, written)) return PlayError::AddressOutOfRange;
            if (read > 0 && source < destination + written && destination < source + read) {
                return PlayError::SourceOverlapsDestination;
            }
            for (std::int64_t i = 0; i < written; ++i) {
                memory_.at(static_cast<std::uint32_t>(destination + i)) =
                    memory_.at(static_cast<std::uint32_t>(source + i % command.unit));
            }
            destination_ += static_cast<std::uint32_t>(written);
            reference_ = static_cast<std::uint32_t>(source);
            break;
        }
        case CommandKind::Frame:
            ++framesEnded_;
            for (int i = 0; i < 3; ++i) marks_[i] = command.data[i];
            break;
    }
    return PlayError::None;
}

PlayResult SegmentPlayer::play(const std::uint8_t* bytes, std::size_t length) {
    std::size_t offset = 0;
    while (offset < length) {
        int commandLength = 0;
        PlayError error = playCommand(bytes + offset, length - offset, &commandLength);
        if (error != PlayError::None) return PlayResult{error, offset};
        offset += static_cast<std::size_t>(commandLength);
    }
    return PlayResult{};
}

}  // namespace zov
