#include "frameconv/video/command_drain.h"

#include "formats/segment_commands.h"

#include <cstring>

namespace zov {

namespace {

// The range a command is counted with: skips their advance, relative sources their offset, absolute
// sources their distance from the destination.
int commandRange(const SegmentCommand& command, int advance, int destination) {
    switch (command.kind) {
        case CommandKind::Skip:
        case CommandKind::SetDestination: return advance;
        case CommandKind::Copy: return command.offset;
        case CommandKind::AbsoluteCopy: return command.offset - destination;
        default: return 0;
    }
}

}  // namespace

CodeStats drainCommands(const std::uint8_t* coded, int codedLength, std::uint32_t regionStart,
                        DrainCursor& cursor, std::uint8_t* packet, int space) {
    CodeStats stats;
    int index = 0;
    while (cursor.position < codedLength && index < space) {
        SegmentCommand command;
        DecodeStatus status = decodeCommand(coded + cursor.position,
                                            static_cast<std::size_t>(codedLength - cursor.position), command);
        if (status != DecodeStatus::Ok) {
            stats.reset();
            stats.markNothingToSend();
            return stats;
        }
        if (command.length > space - index) break;
        std::memcpy(packet + index, coded + cursor.position, static_cast<std::size_t>(command.length));
        cursor.position += command.length;
        index += command.length;
        int destination = static_cast<int>(regionStart) + cursor.addressTally;
        int advance = command.destinationAdvance(destination);
        stats.record(command.codeClass, 1, command.length, advance, commandRange(command, advance, destination));
        cursor.addressTally += advance;
    }
    return stats;
}

}  // namespace zov
