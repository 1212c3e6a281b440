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
    virtual void rowChanged(int row) = 0;
    virtual void rowSelected(int row) = 0;
};

// SQL lines addressed by 1-based row, in the order added. The texts live in
// large shared blocks, so a million lines cost little more than their bytes.
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
    void setText(int row, std::string_view text);
    // Select the row and scroll it into view (the window does the showing).
    void select(int row);
    int selectedRow() const { return selected_; }

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
