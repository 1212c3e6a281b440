// The preview list and the datatype list: the two lists through which the
// conversion run hands its output to the SQL Preview workbench. The windows show
// these models; they never copy the data into per-line widgets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace conversion {

// Told about every change, so that a view over the list can follow it.
class ListObserver {
public:
    virtual ~ListObserver() = default;
    virtual void listReset() = 0;
    virtual void rowsAppended(int first, int last) = 0;
    virtual void rowChanged(int row) = 0;  // its text
    virtual void rowSelected(int row) = 0;
    // What Execute SQL made of the rows changed, their texts did not.
    virtual void statesChanged(int first, int last)
    {
        for (int row = first; row <= last; ++row)
            rowChanged(row);
    }
};

// What Execute SQL made of a line since the list was filled or the line was
// last edited. Execute SQL runs only the lines that have not run.
enum class LineState : std::uint8_t {
    NotRun,   // not run yet, or refused by the server
    Ran,      // committed (a blank line counts as run)
    InDoubt,  // the server left unknown whether it is stored: reported, and not
              // run again unless the user edits it
};

// SQL lines addressed by 1-based row, in the order added, each with what
// Execute SQL made of it. The texts live in large shared blocks, so a million
// lines cost little more than their bytes.
class PreviewList {
public:
    PreviewList();
    ~PreviewList();
    PreviewList(const PreviewList&) = delete;
    PreviewList& operator=(const PreviewList&) = delete;

    void clear();
    void append(std::string_view text);
    int count() const { return static_cast<int>(lines_.size()); }
    // Row 1..count(). The view stays valid until the list is next changed.
    std::string_view text(int row) const;
    // An edited line is to run again, even where it ran before.
    void setText(int row, std::string_view text);
    // Select the row and scroll it into view (the window does the showing).
    void select(int row);
    int selectedRow() const { return selected_; }

    LineState state(int row) const;
    void setState(int row, LineState state);  // the line is no longer sent
    // Execute SQL has sent the line, and its transaction is not committed yet;
    // it looks as a line not run, so nobody is told. An edit ends this.
    void markSent(int row);
    bool sent(int row) const;
    // Each row of first..last that is still sent becomes `state`; the
    // observer hears of the rows once.
    void settleSent(int first, int last, LineState state);

    std::size_t textBytes() const { return liveBytes_; }
    void setObserver(ListObserver* observer) { observer_ = observer; }

private:
    struct Line {
        const char* data;
        std::size_t size;
    };
    const char* store(std::string_view text);
    void checkRow(int row) const;
    void compactIfWasteful();

    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t blockUsed_ = 0;
    std::size_t blockSize_ = 0;
    std::vector<Line> lines_;
    // Per line: the LineState in the low bits, kSent above them.
    std::vector<std::uint8_t> marks_;
    std::size_t liveBytes_ = 0;
    std::size_t storedBytes_ = 0;
    int selected_ = 0;
    ListObserver* observer_ = nullptr;
};

// The datatype record of one field: table, field, Paradox type text, SQL Server type text.
struct DatatypeRecord {
    std::string table;
    std::string field;
    std::string paradoxType;
    std::string sqlType;
};

class DatatypeList {
public:
    void clear();
    void append(std::string_view table);
    // Sub-item 1, 2 or 3 of the last appended record.
    void setSubItem(int index, std::string_view text);
    int count() const { return static_cast<int>(records_.size()); }
    const DatatypeRecord& record(int row) const;  // 1-based
    void setObserver(ListObserver* observer) { observer_ = observer; }

private:
    std::vector<DatatypeRecord> records_;
    ListObserver* observer_ = nullptr;
};

}  // namespace conversion
