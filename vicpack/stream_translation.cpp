#include "vicpack/stream_translation.h"

#include "formats/displayed_frame.h"
#include "formats/segment_commands.h"
#include "formats/target_memory.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace zov {
namespace {

// Below these lengths the processor moves bytes sooner than the unit with its set-up.
constexpr std::uint32_t kPutByUnitFrom = 3;
constexpr std::uint32_t kFillByUnitFrom = 5;
constexpr std::uint32_t kCopyByUnitFrom = 6;
// What an operation costs the C64 player, about: some 90 cycles, and 2 a byte of the page that holds it (its
// fetch, its share of the page's); a byte the unit moves, 1, or 2 through the scratch. So a copy or fill
// shorter than these is cheaper as the bytes themselves (known here), which join the put before them; and
// a put goes on over up to kLongestBridge unchanged bytes (written again as they are) to the next one.
constexpr std::uint32_t kCopyOperationFrom = 112;
constexpr std::uint32_t kFillOperationFrom = 44;
constexpr std::uint32_t kLongestBridge = 29;

// ---- the stream's writes, one by one, on a model of its memory -----------------------------------------------

struct StreamWrite {
    enum class Kind { Literal, Fill, Copy } kind = Kind::Literal;
    std::uint32_t destination = 0, count = 0, source = 0;
    std::uint8_t value = 0;
    const std::uint8_t* data = nullptr;  // Literal
};

/// What a walk over the stream tells: each write before it is made, each Frame command and the sound.
class StreamVisitor {
public:
    virtual ~StreamVisitor() = default;
    virtual void write(const StreamWrite& write, const TargetMemory& memory) = 0;
    virtual void frame(std::uint32_t number, std::uint8_t m1, std::uint8_t m2, std::uint8_t m3, const TargetMemory& memory) = 0;
    virtual void sound(const std::uint8_t*, std::size_t) {}
};

/// Where the commands write and copy from: it goes on from command to command, packet to packet.
struct CommandCursor {
    std::uint32_t destination = 0, reference = 0;
};

/// Plays the commands in bytes on memory (a model of the stream's), telling the visitor of each write before
/// it is made and of each Frame command with the frame's number.
void playCommands(const std::uint8_t* bytes, std::size_t length, std::uint32_t number, TargetMemory& memory, CommandCursor& cursor,
                  StreamVisitor& visitor) {
    std::uint32_t& destination = cursor.destination;
    std::uint32_t& reference = cursor.reference;
    auto apply = [&](const StreamWrite& write) {
        visitor.write(write, memory);
        for (std::uint32_t i = 0; i < write.count; ++i) {
            const std::uint8_t byte = write.kind == StreamWrite::Kind::Literal ? write.data[i]
                                      : write.kind == StreamWrite::Kind::Fill  ? write.value
                                                                               : memory.at(write.source + i);
            memory.at(write.destination + i) = byte;
        }
    };
    std::size_t at = 0;
    while (at < length) {
        SegmentCommand command;
        if (decodeCommand(&bytes[at], length - at, command) != DecodeStatus::Ok) throw std::logic_error("an unchecked stream translated");
        at += static_cast<std::size_t>(command.length);
        switch (command.kind) {
            case CommandKind::Raw:
            case CommandKind::Fill:
                if (command.count > 0) {
                    StreamWrite write;
                    write.kind = command.kind == CommandKind::Raw ? StreamWrite::Kind::Literal : StreamWrite::Kind::Fill;
                    write.destination = destination;
                    write.count = static_cast<std::uint32_t>(command.count);
                    write.data = command.data;
                    write.value = command.data[0];
                    apply(write);
                }
                destination += static_cast<std::uint32_t>(command.count);
                break;
            case CommandKind::Skip: destination += static_cast<std::uint32_t>(command.count); break;
            case CommandKind::SetDestination: destination = reference = static_cast<std::uint32_t>(command.count); break;
            case CommandKind::Copy:
            case CommandKind::AbsoluteCopy: {
                const std::uint32_t source = command.kind == CommandKind::Copy ? reference + static_cast<std::uint32_t>(command.offset)
                                                                               : static_cast<std::uint32_t>(command.offset);
                for (int repeat = 0; repeat < command.repeats; ++repeat) {
                    StreamWrite write;
                    write.kind = StreamWrite::Kind::Copy;
                    write.destination = destination;
                    write.source = source;
                    write.count = static_cast<std::uint32_t>(command.unit);
                    apply(write);
                    destination += write.count;
                }
                reference = source;
                break;
            }
            case CommandKind::Frame: visitor.frame(number, command.data[0], command.data[1], command.data[2], memory); break;
        }
    }
}

/// Plays every command of a checked stream on a model of its memory, as the format library's segment
/// player does, and tells the visitor about it.
void walkStream(const std::vector<std::uint8_t>& stream, const std::vector<StreamPacket>& packets, StreamVisitor& visitor) {
    TargetMemory memory;
    if (!memory.allocate()) throw std::bad_alloc();
    CommandCursor cursor;
    std::uint32_t number = 0;
    for (const StreamPacket& packet : packets) {
        if (packet.kind == PacketKind::Audio) {
            visitor.sound(&stream[packet.contentOffset], packet.contentLength);
            continue;
        }
        if (packet.kind == PacketKind::FirstVideo) number = packet.frameNumber;
        playCommands(&stream[packet.contentOffset], packet.contentLength, number, memory, cursor, visitor);
    }
}

/// A copy in pieces that each lie in one block of the source and one of the destination, each told whether
/// its source bytes all hold one value (and which).
template <typename Piece>
void forEachCopyPiece(const StreamWrite& copy, const TargetMemory& memory, Piece piece) {
    std::uint32_t done = 0;
    while (done < copy.count) {
        const std::uint32_t from = copy.source + done, to = copy.destination + done;
        const std::uint32_t length = std::min({copy.count - done, 1024 - from % 1024, 1024 - to % 1024});
        const std::uint8_t first = memory.at(from);
        bool constant = true;
        for (std::uint32_t i = 1; i < length && constant; ++i) constant = memory.at(from + i) == first;
        piece(from, to, length, constant, first);
        done += length;
    }
}

// ---- what the plan needs to know -------------------------------------------------------------------------

struct BufferUse {
    std::uint32_t bitmap = 0, matrix = 0;
    unsigned mattering = 0;  // bit k: the bitmap's block k holds bytes that some frame's picture depends on
};

/// Whether a card's colours depend on its bitmap bytes: not when every pixel value gives the same colour.
/// Colour RAM is black, as vicview draws a stream.
bool cardDependsOnBitmap(std::uint8_t matrixByte, int background, bool multicolour) {
    const int high = matrixByte >> 4, low = matrixByte & 15;
    if (!multicolour) return high != low;
    return !(high == background && low == background && background == 0);
}

class StreamAnalysis final : public StreamVisitor {
public:
    explicit StreamAnalysis(bool multicolour) : multicolour_(multicolour) { highestWritten.fill(-1); }

    std::array<bool, kStreamBlocks> read{};       // copied from, its bytes not all one value
    std::array<int, kStreamBlocks> highestWritten;  // the highest offset written in each block, -1 none
    std::vector<BufferUse> buffers;

    void write(const StreamWrite& write, const TargetMemory& memory) override {
        for (std::uint32_t address = write.destination; address < write.destination + write.count; address = (address | 1023) + 1) {
            const std::uint32_t last = std::min(write.destination + write.count, (address | 1023) + 1) - 1;
            int& highest = highestWritten[address / 1024];
            highest = std::max(highest, static_cast<int>(last % 1024));
        }
        if (write.kind == StreamWrite::Kind::Copy)
            forEachCopyPiece(write, memory, [this](std::uint32_t from, std::uint32_t, std::uint32_t, bool constant, std::uint8_t) {
                if (!constant) read[from / 1024] = true;
            });
    }

    void frame(std::uint32_t, std::uint8_t m1, std::uint8_t m2, std::uint8_t m3, const TargetMemory& memory) override {
        const DisplayAddresses shown = decodeFrameRegisters(m1, m2, m3);
        BufferUse& use = bufferOf(shown.bitmap, shown.screen);
        for (std::uint32_t card = 0; card < kScreenCards; ++card) {
            const std::uint32_t address = shown.screen + card;
            const std::uint8_t matrixByte = address >= kTargetBase ? memory.at(address) : 0;
            if (cardDependsOnBitmap(matrixByte, shown.background, multicolour_))
                use.mattering |= 1u << ((card / 40 * 320 + card % 40 * 8) / 1024);
        }
    }

private:
    BufferUse& bufferOf(std::uint32_t bitmap, std::uint32_t matrix) {
        for (BufferUse& use : buffers)
            if (use.bitmap == bitmap && use.matrix == matrix) return use;
        buffers.push_back({bitmap, matrix, 0});
        return buffers.back();
    }

    bool multicolour_;
};

StreamAnalysis analyse(const std::vector<std::uint8_t>& stream, const StreamInfo& info, const std::vector<StreamPacket>& packets) {
    StreamAnalysis analysis(info.multicolour());
    walkStream(stream, packets, analysis);
    return analysis;
}

// ---- the C64's placement ------------------------------------------------------------------------------

constexpr int kFree = -1, kReserved = -2;
constexpr int kVectorsFrom = 0x3FA;  // in the last block: the processor's vectors
constexpr int kLastBlock = kMachineBlocks - 1;

bool hiddenBlock(int block) { return block >= static_cast<int>(kHiddenFrom / 1024) && block < static_cast<int>(kHiddenTo / 1024); }

/// Finds places for the shown buffers by trying bitmap halves and matrix blocks in order of preference, and
/// going back when a later buffer finds no room; then places the blocks that are only read.
class C64Placement {
public:
    C64Placement(const StreamAnalysis& analysis) : analysis_(analysis) {
        use_.fill(kFree);
        // Zero page, stack and the player's variables; the player's code, tables and rings, where the chip
        // sees its character ROM anyway.
        for (int block : {0, 4, 5, 6, 7, 36, 37, 38, 39}) use_[static_cast<std::size_t>(block)] = kReserved;
    }

    bool place(std::string& problem) {
        if (!placeBuffer(0)) {
            problem = steps_ > kMostSteps ? "no place found for its frame buffers in time"
                                          : "its " + std::to_string(analysis_.buffers.size()) + " frame buffers do not fit where the C64's VIC-II sees RAM";
            return false;
        }
        for (int block = 0; block < kStreamBlocks; ++block) {
            if (!analysis_.read[static_cast<std::size_t>(block)] || holds(block)) continue;
            if (!placeAnywhere(block)) {
                problem = "the memory it copies from does not fit beside its frame buffers";
                return false;
            }
        }
        return true;
    }

    MemoryPlan plan() const {
        MemoryPlan plan;
        // Places out of the I/O area first: a copy reads from the first.
        for (int pass = 0; pass < 2; ++pass)
            for (int block = 0; block < kMachineBlocks; ++block)
                if (use_[static_cast<std::size_t>(block)] >= 0 && hiddenBlock(block) == (pass == 1))
                    plan.places[static_cast<std::size_t>(use_[static_cast<std::size_t>(block)])].push_back(block);
        for (std::size_t i = 0; i < analysis_.buffers.size(); ++i)
            plan.buffers.push_back({analysis_.buffers[i].bitmap, analysis_.buffers[i].matrix, halves_[i] * 1024u, matrices_[i] * 1024u});
        return plan;
    }

private:
    static constexpr long kMostSteps = 200000;

    bool vicSeesRam(int block) const {
        const int inBank = block % 16;
        const int bank = block / 16;
        return !((bank == 0 || bank == 2) && inBank >= 4 && inBank < 8);
    }

    bool canHold(int block, int streamBlock, bool shown) const {
        if (block < 0 || block >= kMachineBlocks) return false;
        const int now = use_[static_cast<std::size_t>(block)];
        if (now == kReserved || (now != kFree && now != streamBlock)) return false;
        if (shown && !vicSeesRam(block)) return false;
        return block != kLastBlock || analysis_.highestWritten[static_cast<std::size_t>(streamBlock)] < kVectorsFrom;
    }

    bool holds(int streamBlock) const { return std::find(use_.begin(), use_.end(), streamBlock) != use_.end(); }

    /// Claims a block for a stream block; the claims made are noted so that they can be undone.
    void claim(int block, int streamBlock, std::vector<int>& claimed) {
        if (use_[static_cast<std::size_t>(block)] == kFree) {
            use_[static_cast<std::size_t>(block)] = streamBlock;
            claimed.push_back(block);
        }
    }
    void undo(const std::vector<int>& claimed) {
        for (int block : claimed) use_[static_cast<std::size_t>(block)] = kFree;
    }

    bool placeBuffer(std::size_t index) {
        if (index == analysis_.buffers.size()) return true;
        const BufferUse& buffer = analysis_.buffers[index];
        const int bitmapBlock = static_cast<int>(buffer.bitmap / 1024), matrixBlock = static_cast<int>(buffer.matrix / 1024);
        std::vector<int> halves{bitmapBlock};
        for (int half : {8, 16, 24, 40, 56, 48, 0, 32})
            if (half != bitmapBlock) halves.push_back(half);
        for (int half : halves) {
            if (++steps_ > kMostSteps) return false;
            std::vector<int> claimed;
            bool fits = true;
            for (int k = 0; k < 8 && fits; ++k) {
                if (!(buffer.mattering >> k & 1)) continue;
                fits = canHold(half + k, bitmapBlock + k, true);
                if (fits) claim(half + k, bitmapBlock + k, claimed);
            }
            if (fits) {
                halves_.resize(index + 1);
                matrices_.resize(index + 1);
                halves_[index] = half;
                for (int matrix : matrixCandidates(half, bitmapBlock, matrixBlock)) {
                    if (!canHold(matrix, matrixBlock, true)) continue;
                    std::vector<int> matrixClaim;
                    claim(matrix, matrixBlock, matrixClaim);
                    matrices_[index] = matrix;
                    if (placeBuffer(index + 1)) return true;
                    undo(matrixClaim);
                    if (steps_ > kMostSteps) break;
                }
            }
            undo(claimed);
        }
        return false;
    }

    /// The blocks of the half's bank for the matrix: where the matrix is already, where it lies from the
    /// bitmap in the stream, where it lies in the stream, then the bank's blocks (those under I/O last).
    std::vector<int> matrixCandidates(int half, int bitmapBlock, int matrixBlock) const {
        const int bank = half / 16 * 16;
        std::vector<int> candidates;
        auto add = [&](int block) {
            if (block >= bank && block < bank + 16 && std::find(candidates.begin(), candidates.end(), block) == candidates.end())
                candidates.push_back(block);
        };
        for (int block = bank; block < bank + 16; ++block)
            if (use_[static_cast<std::size_t>(block)] == matrixBlock) add(block);
        add(half + matrixBlock - bitmapBlock);
        add(matrixBlock);
        for (int pass = 0; pass < 2; ++pass)
            for (int block = bank; block < bank + 16; ++block)
                if (hiddenBlock(block) == (pass == 1)) add(block);
        return candidates;
    }

    bool placeAnywhere(int streamBlock) {
        for (int pass = 0; pass < 2; ++pass)
            for (int block = 0; block < kMachineBlocks; ++block)
                if (hiddenBlock(block) == (pass == 1) && use_[static_cast<std::size_t>(block)] == kFree && canHold(block, streamBlock, false)) {
                    use_[static_cast<std::size_t>(block)] = streamBlock;
                    return true;
                }
        return false;
    }

    const StreamAnalysis& analysis_;
    std::array<int, kMachineBlocks> use_{};
    std::vector<int> halves_, matrices_;
    long steps_ = 0;
};

// ---- the operations ------------------------------------------------------------------------------------

/// Writes the operations of the stream's writes through the plan, joining an operation to the one before it
/// when it goes on where that one ended.
class OperationWriter final : public StreamVisitor {
public:
    OperationWriter(const MemoryPlan& plan, std::uint32_t ticksPerPicture) : plan_(plan), ticksPerPicture_(ticksPerPicture) {}

    void write(const StreamWrite& write, const TargetMemory& memory) override {
        memory_ = &memory;
        if (write.kind == StreamWrite::Kind::Copy) {
            forEachCopyPiece(write, memory, [&](std::uint32_t from, std::uint32_t to, std::uint32_t length, bool constant, std::uint8_t value) {
                for (int place : plan_.places[to / 1024]) {
                    const std::uint32_t destination = MemoryPlan::machineAddress(place, to);
                    if (constant) {
                        fillBytes(destination, to, length, value);
                    } else if (length < kCopyOperationFrom) {
                        putBytes(destination, to, memory.address(from), length);
                    } else {
                        const std::vector<int>& sources = plan_.places[from / 1024];
                        if (sources.empty()) throw std::logic_error("a copy from a block without a place");
                        copy(MemoryPlan::machineAddress(sources.front(), from), destination, length);
                    }
                }
            });
            return;
        }
        std::uint32_t done = 0;
        while (done < write.count) {
            const std::uint32_t to = write.destination + done;
            const std::uint32_t length = std::min(write.count - done, 1024 - to % 1024);
            for (int place : plan_.places[to / 1024]) {
                const std::uint32_t destination = MemoryPlan::machineAddress(place, to);
                if (write.kind == StreamWrite::Kind::Fill) fillBytes(destination, to, length, write.value);
                else putBytes(destination, to, write.data + done, length);
            }
            done += length;
        }
    }

    void frame(std::uint32_t number, std::uint8_t m1, std::uint8_t m2, std::uint8_t m3, const TargetMemory&) override {
        flush();
        const DisplayAddresses shown = decodeFrameRegisters(m1, m2, m3);
        const ShownBuffer* buffer = plan_.bufferShowing(shown.bitmap, shown.screen);
        if (!buffer) throw std::logic_error("a frame buffer the plan has no place for");
        Operation show;
        show.kind = OperationKind::Show;
        show.d018 = static_cast<std::uint8_t>(((buffer->machineMatrix & 0x3FFF) >> 6) | ((buffer->machineBitmap & 0x2000) >> 10));
        show.bankBits = static_cast<std::uint8_t>(3 - buffer->machineBitmap / 0x4000);
        show.background = static_cast<std::uint8_t>(shown.background);
        show.frameNumber = static_cast<std::uint16_t>(number);
        show.dueTicks = (number - 1) * ticksPerPicture_;
        pages_.add(show);
        ++frames_;
        pagesAfterFrame_.push_back(pages_.pages() + (pages_.fits(1) ? 0 : 1));
    }

    void sound(const std::uint8_t* bytes, std::size_t count) override { sound_.insert(sound_.end(), bytes, bytes + count); }

    StreamOperations finish() {
        flush();
        Operation end;
        end.kind = OperationKind::End;
        pages_.add(end);
        return {pages_.bytes(), std::move(sound_), frames_, std::move(pagesAfterFrame_)};
    }

private:
    static bool hidden(std::uint32_t address, std::uint32_t length) { return address < kHiddenTo && address + length > kHiddenFrom; }

    void fillBytes(std::uint32_t destination, std::uint32_t target, std::uint32_t length, std::uint8_t value) {
        if (length >= kFillOperationFrom) return fill(destination, length, value);
        const std::vector<std::uint8_t> bytes(length, value);
        putBytes(destination, target, bytes.data(), length);
    }

    /// Bytes for destination (the stream's address target): after the put in hand, over the unchanged bytes
    /// between them when they are few and lie the same way on the machine.
    void putBytes(std::uint32_t destination, std::uint32_t target, const std::uint8_t* bytes, std::uint32_t length) {
        if (pending_.kind == StreamWrite::Kind::Literal && pending_.count > 0) {
            const std::uint32_t end = pending_.destination + pending_.count;
            const std::uint32_t gap = destination - end;
            if (destination > end && target - pendingTargetEnd_ == gap && gap <= kLongestBridge &&
                pendingBytes_.size() + gap < static_cast<std::size_t>(kLongestPut) && hidden(destination, 1) == hidden(pending_.destination, 1))
                put(end, memory_->address(pendingTargetEnd_), gap);
        }
        put(destination, bytes, length);
        pendingTargetEnd_ = target + length;
    }

    void put(std::uint32_t destination, const std::uint8_t* bytes, std::uint32_t length) {
        while (length > 0) {
            if (pending_.kind != StreamWrite::Kind::Literal || !joins(destination) || pendingBytes_.size() >= static_cast<std::size_t>(kLongestPut) ||
                hidden(destination, 1) != hidden(pending_.destination, 1)) {
                flush();
                start(StreamWrite::Kind::Literal, destination);
            }
            const std::uint32_t taken = std::min<std::uint32_t>(length, static_cast<std::uint32_t>(kLongestPut - pendingBytes_.size()));
            pendingBytes_.insert(pendingBytes_.end(), bytes, bytes + taken);
            pending_.count += taken;
            bytes += taken, destination += taken, length -= taken;
        }
    }

    void fill(std::uint32_t destination, std::uint32_t length, std::uint8_t value) {
        if (!(pending_.kind == StreamWrite::Kind::Fill && pending_.value == value && joins(destination) &&
              pending_.count + length <= static_cast<std::uint32_t>(kLongestFill) && hidden(destination, 1) == hidden(pending_.destination, 1))) {
            flush();
            start(StreamWrite::Kind::Fill, destination);
            pending_.value = value;
        }
        pending_.count += length;
    }

    void copy(std::uint32_t source, std::uint32_t destination, std::uint32_t length) {
        if (!(pending_.kind == StreamWrite::Kind::Copy && joins(destination) && pending_.source + pending_.count == source &&
              pending_.count + length <= static_cast<std::uint32_t>(kLongestCopy) &&
              hidden(destination, 1) == hidden(pending_.destination, 1) && hidden(source, 1) == hidden(pending_.source, 1) &&
              !overlap(pending_.source, pending_.destination, pending_.count + length))) {
            flush();
            start(StreamWrite::Kind::Copy, destination);
            pending_.source = source;
        }
        pending_.count += length;
    }

    /// Whether a copy of count bytes would read what it writes (joined copies read before they write).
    static bool overlap(std::uint32_t source, std::uint32_t destination, std::uint32_t count) {
        return source < destination + count && destination < source + count;
    }

    bool joins(std::uint32_t destination) const { return pending_.count > 0 && pending_.destination + pending_.count == destination; }

    void start(StreamWrite::Kind kind, std::uint32_t destination) {
        pending_ = StreamWrite{};
        pending_.kind = kind;
        pending_.destination = destination;
        pendingBytes_.clear();
    }

    /// The operation in hand into the pages, moved by whom its place and length make quickest.
    void flush() {
        if (pending_.count == 0) return;
        const std::uint32_t count = pending_.count;
        Operation operation;
        operation.destination = static_cast<std::uint16_t>(pending_.destination);
        operation.count = count;
        bool hiddenHere = hidden(pending_.destination, count);
        switch (pending_.kind) {
            case StreamWrite::Kind::Literal:
                operation.kind = putKind(hiddenHere ? Mover::Hidden : count < kPutByUnitFrom ? Mover::Processor : Mover::Unit);
                operation.bytes = pendingBytes_;
                break;
            case StreamWrite::Kind::Fill:
                operation.kind = fillKind(hiddenHere ? Mover::Hidden : count < kFillByUnitFrom ? Mover::Processor : Mover::Unit);
                operation.value = pending_.value;
                break;
            case StreamWrite::Kind::Copy:
                hiddenHere = hiddenHere || hidden(pending_.source, count);
                operation.kind = copyKind(hiddenHere ? Mover::Hidden : count < kCopyByUnitFrom ? Mover::Processor : Mover::Unit);
                operation.source = static_cast<std::uint16_t>(pending_.source);
                break;
        }
        pages_.add(operation);
        pending_ = StreamWrite{};
        pendingBytes_.clear();
    }

    const MemoryPlan& plan_;
    std::uint32_t ticksPerPicture_;
    const TargetMemory* memory_ = nullptr;  // the stream's memory before the write in hand
    OperationPages pages_;
    StreamWrite pending_;
    std::uint32_t pendingTargetEnd_ = 0;  // the stream's address after the put in hand
    std::vector<std::uint8_t> pendingBytes_;
    std::vector<std::uint8_t> sound_;
    std::uint32_t frames_ = 0;
    std::vector<std::uint64_t> pagesAfterFrame_;
};

/// Hands the writes and frames on, and gives each frame buffer shown its place first where it is.
class BuffersInPlace final : public StreamVisitor {
public:
    BuffersInPlace(MemoryPlan& plan, StreamVisitor& next) : plan_(plan), next_(next) {}
    void write(const StreamWrite& write, const TargetMemory& memory) override { next_.write(write, memory); }
    void frame(std::uint32_t number, std::uint8_t m1, std::uint8_t m2, std::uint8_t m3, const TargetMemory& memory) override {
        const DisplayAddresses shown = decodeFrameRegisters(m1, m2, m3);
        if (!plan_.bufferShowing(shown.bitmap, shown.screen)) plan_.buffers.push_back({shown.bitmap, shown.screen, shown.bitmap, shown.screen});
        next_.frame(number, m1, m2, m3, memory);
    }

private:
    MemoryPlan& plan_;
    StreamVisitor& next_;
};

}  // namespace

struct FrameTranslator::State {
    MemoryPlan plan;
    TargetMemory kept, trial;
    CommandCursor keptCursor, trialCursor;
};

FrameTranslator::FrameTranslator() : state_(std::make_unique<State>()) {
    for (int block = 0; block < kStreamBlocks; ++block) state_->plan.places[static_cast<std::size_t>(block)] = {block};
    if (!state_->kept.allocate() || !state_->trial.allocate()) throw std::bad_alloc();
}

FrameTranslator::~FrameTranslator() = default;

std::vector<std::uint8_t> FrameTranslator::translate(const std::uint8_t* commands, std::size_t length) {
    State& state = *state_;
    std::memcpy(state.trial.address(kTargetBase), state.kept.address(kTargetBase), kTargetImageSize);
    state.trialCursor = state.keptCursor;
    OperationWriter writer(state.plan, 0);
    BuffersInPlace placing(state.plan, writer);
    playCommands(commands, length, 1, state.trial, state.trialCursor, placing);
    return writer.finish().pages;
}

void FrameTranslator::accept() {
    std::swap(state_->kept, state_->trial);
    state_->keptCursor = state_->trialCursor;
}

const ShownBuffer* MemoryPlan::bufferShowing(std::uint32_t bitmap, std::uint32_t matrix) const {
    for (const ShownBuffer& buffer : buffers)
        if (buffer.bitmap == bitmap && buffer.matrix == matrix) return &buffer;
    return nullptr;
}

MemoryPlan identityPlan(const std::vector<std::uint8_t>& stream, const StreamInfo& info, const std::vector<StreamPacket>& packets) {
    const StreamAnalysis analysis = analyse(stream, info, packets);
    MemoryPlan plan;
    for (int block = 0; block < kStreamBlocks; ++block) plan.places[static_cast<std::size_t>(block)] = {block};
    for (const BufferUse& use : analysis.buffers) plan.buffers.push_back({use.bitmap, use.matrix, use.bitmap, use.matrix});
    return plan;
}

std::optional<MemoryPlan> planC64Memory(const std::vector<std::uint8_t>& stream, const StreamInfo& info,
                                        const std::vector<StreamPacket>& packets, std::string& problem) {
    const StreamAnalysis analysis = analyse(stream, info, packets);
    C64Placement placement(analysis);
    if (!placement.place(problem)) return std::nullopt;
    return placement.plan();
}

StreamOperations translateStream(const std::vector<std::uint8_t>& stream, const StreamInfo&,
                                 const std::vector<StreamPacket>& packets, const MemoryPlan& plan, std::uint32_t ticksPerPicture) {
    OperationWriter writer(plan, ticksPerPicture);
    walkStream(stream, packets, writer);
    return writer.finish();
}

}  // namespace zov
