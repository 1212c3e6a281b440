// Block storage of the preview lines. Appending copies the text into the
// current block; an edited line gets new storage and the old bytes are
// reclaimed when waste outgrows the live text.
#include "conversion/preview_list.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace conversion {

namespace {
constexpr std::size_t kBlockSize = 1 << 20;
constexpr std::size_t kWasteAllowance = 16u << 20;
constexpr std::size_t kKeptLines = 4096;
constexpr std::uint8_t kStateBits = 0x3;
constexpr std::uint8_t kSent = 0x4;
}  // namespace

PreviewList::PreviewList() = default;
PreviewList::~PreviewList() = default;

void PreviewList::clear()
{
    // The current block and a little line room stay for the next lines: a list
    // that is filled and emptied line by line (the headless script) then
    // neither allocates nor clears a block for each line.
    std::unique_ptr<char[]> current;
    if (blockSize_ == kBlockSize)
        current = std::move(blocks_.back());
    blocks_.clear();
    blockUsed_ = blockSize_ = 0;
    if (current) {
        blocks_.push_back(std::move(current));
        blockSize_ = kBlockSize;
    }
    lines_.clear();
    marks_.clear();
    if (lines_.capacity() > kKeptLines) {
        lines_.shrink_to_fit();
        marks_.shrink_to_fit();
    }
    liveBytes_ = storedBytes_ = 0;
    selected_ = 0;
    if (observer_)
        observer_->listReset();
}

const char* PreviewList::store(std::string_view text)
{
    if (text.empty())
        return nullptr;
    if (text.size() > kBlockSize / 4) {
        // A big memo line gets a block of its own, so blocks stay dense.
        auto block = std::make_unique_for_overwrite<char[]>(text.size());
        std::memcpy(block.get(), text.data(), text.size());
        const char* p = block.get();
        // Keep the current block last, so appending goes on filling it.
        blocks_.insert(blocks_.empty() ? blocks_.end() : blocks_.end() - 1, std::move(block));
        storedBytes_ += text.size();
        return p;
    }
    if (blocks_.empty() || blockSize_ - blockUsed_ < text.size()) {
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
        blockSize_ = kBlockSize;
        blockUsed_ = 0;
    }
    char* p = blocks_.back().get() + blockUsed_;
    std::memcpy(p, text.data(), text.size());
    blockUsed_ += text.size();
    storedBytes_ += text.size();
    return p;
}

void PreviewList::append(std::string_view text)
{
    lines_.push_back({store(text), text.size()});
    marks_.push_back(static_cast<std::uint8_t>(LineState::NotRun));
    liveBytes_ += text.size();
    if (observer_) {
        const int row = count();
        observer_->rowsAppended(row, row);
    }
}

void PreviewList::checkRow(int row) const
{
    if (row < 1 || row > count())
        throw std::out_of_range("Row " + std::to_string(row) + " is not in the list of "
                                + std::to_string(count()) + " lines.");
}

std::string_view PreviewList::text(int row) const
{
    checkRow(row);
    const Line& line = lines_[static_cast<std::size_t>(row - 1)];
    return line.size ? std::string_view(line.data, line.size) : std::string_view();
}

void PreviewList::setText(int row, std::string_view text)
{
    checkRow(row);
    Line& line = lines_[static_cast<std::size_t>(row - 1)];
    liveBytes_ -= line.size;
    line = {store(text), text.size()};
    marks_[static_cast<std::size_t>(row - 1)] = static_cast<std::uint8_t>(LineState::NotRun);
    liveBytes_ += text.size();
    compactIfWasteful();
    if (observer_)
        observer_->rowChanged(row);
}

void PreviewList::compactIfWasteful()
{
    if (storedBytes_ - liveBytes_ <= std::max(liveBytes_, kWasteAllowance))
        return;
    std::vector<std::unique_ptr<char[]>> oldBlocks;
    oldBlocks.swap(blocks_);
    blockUsed_ = blockSize_ = 0;
    storedBytes_ = 0;
    for (Line& line : lines_)
        line.data = store(std::string_view(line.data ? line.data : "", line.size));
}

LineState PreviewList::state(int row) const
{
    checkRow(row);
    return static_cast<LineState>(marks_[static_cast<std::size_t>(row - 1)] & kStateBits);
}

void PreviewList::setState(int row, LineState state)
{
    checkRow(row);
    marks_[static_cast<std::size_t>(row - 1)] = static_cast<std::uint8_t>(state);
    if (observer_)
        observer_->statesChanged(row, row);
}

void PreviewList::markSent(int row)
{
    checkRow(row);
    marks_[static_cast<std::size_t>(row - 1)] |= kSent;
}

bool PreviewList::sent(int row) const
{
    checkRow(row);
    return (marks_[static_cast<std::size_t>(row - 1)] & kSent) != 0;
}

void PreviewList::settleSent(int first, int last, LineState state)
{
    first = std::max(first, 1);
    last = std::min(last, count());
    int changedFirst = 0;
    int changedLast = 0;
    for (int row = first; row <= last; ++row) {
        std::uint8_t& mark = marks_[static_cast<std::size_t>(row - 1)];
        if (!(mark & kSent))
            continue;
        mark = static_cast<std::uint8_t>(state);
        changedFirst = changedFirst ? changedFirst : row;
        changedLast = row;
    }
    if (observer_ && changedFirst)
        observer_->statesChanged(changedFirst, changedLast);
}

void PreviewList::select(int row)
{
    checkRow(row);
    selected_ = row;
    if (observer_)
        observer_->rowSelected(row);
}

void DatatypeList::clear()
{
    records_.clear();
    if (observer_)
        observer_->listReset();
}

void DatatypeList::append(std::string_view table)
{
    records_.push_back({std::string(table), {}, {}, {}});
    if (observer_)
        observer_->rowsAppended(count(), count());
}

void DatatypeList::setSubItem(int index, std::string_view text)
{
    if (records_.empty())
        throw std::out_of_range("The datatype list has no record.");
    DatatypeRecord& r = records_.back();
    switch (index) {
    case 1: r.field = text; break;
    case 2: r.paradoxType = text; break;
    case 3: r.sqlType = text; break;
    default: throw std::out_of_range("Sub-item " + std::to_string(index) + " does not exist.");
    }
    if (observer_)
        observer_->rowChanged(count());
}

const DatatypeRecord& DatatypeList::record(int row) const
{
    if (row < 1 || row > count())
        throw std::out_of_range("Row " + std::to_string(row) + " is not in the datatype list.");
    return records_[static_cast<std::size_t>(row - 1)];
}

}  // namespace conversion
