#include "formats/stream_operations.h"

#include "formats/little_endian.h"

#include <algorithm>
#include <stdexcept>

namespace zov {
namespace {

constexpr std::size_t kShowLength = 10;
constexpr std::size_t kFillLength = 6;
constexpr std::size_t kCopyLength = 6;
constexpr std::size_t kPutHead = 4;

bool isPut(OperationKind kind) {
    return kind == OperationKind::Put || kind == OperationKind::PutByProcessor || kind == OperationKind::PutHidden;
}
bool isFill(OperationKind kind) {
    return kind == OperationKind::Fill || kind == OperationKind::FillByProcessor || kind == OperationKind::FillHidden;
}
bool isCopy(OperationKind kind) {
    return kind == OperationKind::Copy || kind == OperationKind::CopyByProcessor || kind == OperationKind::CopyHidden;
}

}  // namespace

OperationKind putKind(Mover mover) {
    return mover == Mover::Unit ? OperationKind::Put : mover == Mover::Processor ? OperationKind::PutByProcessor : OperationKind::PutHidden;
}
OperationKind fillKind(Mover mover) {
    return mover == Mover::Unit ? OperationKind::Fill : mover == Mover::Processor ? OperationKind::FillByProcessor : OperationKind::FillHidden;
}
OperationKind copyKind(Mover mover) {
    return mover == Mover::Unit ? OperationKind::Copy : mover == Mover::Processor ? OperationKind::CopyByProcessor : OperationKind::CopyHidden;
}

Mover moverOf(OperationKind kind) {
    switch (kind) {
        case OperationKind::Put:
        case OperationKind::Fill:
        case OperationKind::Copy: return Mover::Unit;
        case OperationKind::PutHidden:
        case OperationKind::FillHidden:
        case OperationKind::CopyHidden: return Mover::Hidden;
        default: return Mover::Processor;
    }
}

std::size_t encodedLength(const Operation& operation) {
    if (isPut(operation.kind)) return kPutHead + operation.bytes.size();
    if (isFill(operation.kind)) return kFillLength;
    if (isCopy(operation.kind)) return kCopyLength;
    if (operation.kind == OperationKind::Show) return kShowLength;
    return 1;
}

void encodeOperation(const Operation& operation, std::vector<std::uint8_t>& out) {
    out.push_back(static_cast<std::uint8_t>(operation.kind));
    if (isPut(operation.kind)) {
        if (operation.bytes.empty() || operation.bytes.size() > static_cast<std::size_t>(kLongestPut))
            throw std::logic_error("a Put of 1 to 251 bytes");
        out.push_back(static_cast<std::uint8_t>(operation.bytes.size()));
        appendLe16(out, operation.destination);
        out.insert(out.end(), operation.bytes.begin(), operation.bytes.end());
    } else if (isFill(operation.kind)) {
        if (operation.count == 0 || operation.count > static_cast<std::uint32_t>(kLongestFill))
            throw std::logic_error("a Fill of 1 to 65535 bytes");
        appendLe16(out, operation.count);
        out.push_back(operation.value);
        appendLe16(out, operation.destination);
    } else if (isCopy(operation.kind)) {
        if (operation.count == 0 || operation.count > static_cast<std::uint32_t>(kLongestCopy))
            throw std::logic_error("a Copy of 1 to 256 bytes");
        out.push_back(static_cast<std::uint8_t>(operation.count));
        appendLe16(out, operation.source);
        appendLe16(out, operation.destination);
    } else if (operation.kind == OperationKind::Show) {
        out.insert(out.end(), {operation.d018, operation.bankBits, operation.background});
        appendLe16(out, operation.frameNumber);
        appendLe32(out, operation.dueTicks);
    }
}

std::size_t decodeOperation(const std::uint8_t* bytes, std::size_t available, Operation& operation) {
    if (available == 0) return 0;
    const std::uint8_t first = bytes[0];
    if (first > static_cast<std::uint8_t>(OperationKind::CopyHidden) || (first & 1) != 0) return 0;
    operation = Operation{};
    operation.kind = static_cast<OperationKind>(first);
    if (isPut(operation.kind)) {
        if (available < kPutHead || bytes[1] == 0 || available < kPutHead + bytes[1]) return 0;
        operation.count = bytes[1];
        operation.destination = readLe16(bytes + 2);
        operation.bytes.assign(bytes + kPutHead, bytes + kPutHead + bytes[1]);
        return kPutHead + bytes[1];
    }
    if (isFill(operation.kind)) {
        if (available < kFillLength || readLe16(bytes + 1) == 0) return 0;
        operation.count = readLe16(bytes + 1);
        operation.value = bytes[3];
        operation.destination = readLe16(bytes + 4);
        return kFillLength;
    }
    if (isCopy(operation.kind)) {
        if (available < kCopyLength) return 0;
        operation.count = bytes[1] == 0 ? 256 : bytes[1];
        operation.source = readLe16(bytes + 2);
        operation.destination = readLe16(bytes + 4);
        return kCopyLength;
    }
    if (operation.kind == OperationKind::Show) {
        if (available < kShowLength) return 0;
        operation.d018 = bytes[1];
        operation.bankBits = bytes[2];
        operation.background = bytes[3];
        operation.frameNumber = readLe16(bytes + 4);
        operation.dueTicks = readLe32(bytes + 6);
        return kShowLength;
    }
    return 1;
}

bool OperationPages::fits(std::size_t length) const { return used_ + length < kOperationPageBytes; }

void OperationPages::add(const Operation& operation) {
    const std::size_t length = encodedLength(operation);
    if (!fits(length)) {
        bytes_.resize(bytes_.size() + kOperationPageBytes, 0);
        used_ = 0;
    }
    std::vector<std::uint8_t> encoded;
    encodeOperation(operation, encoded);
    std::copy(encoded.begin(), encoded.end(), bytes_.end() - static_cast<std::ptrdiff_t>(kOperationPageBytes - used_));
    used_ += length;
}

bool replayOperations(const std::vector<std::uint8_t>& pages, MachineMemory& memory,
                      const std::function<void(const Operation&)>& shown) {
    std::size_t page = 0, at = 0;
    while (page * kOperationPageBytes < pages.size()) {
        const std::uint8_t* start = pages.data() + page * kOperationPageBytes;
        Operation operation;
        const std::size_t length = decodeOperation(start + at, kOperationPageBytes - at, operation);
        if (length == 0) return false;
        // The page's last byte is never part of an operation but NextPage.
        if (operation.kind != OperationKind::NextPage && at + length >= kOperationPageBytes) return false;
        at += length;
        const std::uint32_t to = operation.destination;
        if (operation.kind == OperationKind::NextPage) {
            ++page;
            at = 0;
        } else if (operation.kind == OperationKind::End) {
            return true;
        } else if (operation.kind == OperationKind::Show) {
            shown(operation);
        } else if (to + operation.count > memory.size() ||
                   (isCopy(operation.kind) && operation.source + operation.count > memory.size())) {
            return false;
        } else if (isPut(operation.kind)) {
            std::copy(operation.bytes.begin(), operation.bytes.end(), memory.begin() + to);
        } else if (isFill(operation.kind)) {
            std::fill_n(memory.begin() + to, operation.count, operation.value);
        } else {
            const std::uint32_t from = operation.source;
            if (from < to + operation.count && to < from + operation.count) return false;
            std::copy_n(memory.begin() + from, operation.count, memory.begin() + to);
        }
    }
    return false;
}

}  // namespace zov
