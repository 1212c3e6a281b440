// Qt models over the hand-off lists, so that the windows show the lists the
// run filled without copying a line into a widget. A view over a million lines
// asks only for the rows it paints. The lists tell a model of a change after
// making it, so each model keeps the row count it has announced and changes it
// between the begin and end of Qt's insert or reset.
#pragma once

#include "conversion/preview_list.h"
#include "core/list_rows.h"

#include <QAbstractListModel>
#include <QAbstractTableModel>

#include <functional>

namespace preview {

class PreviewListModel final : public QAbstractListModel, public conversion::ListObserver {
public:
    explicit PreviewListModel(conversion::PreviewList& list, QObject* parent = nullptr);
    ~PreviewListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // While the window is hidden the model ignores appends and catches up here.
    void refresh();
    void setLive(bool live) { live_ = live; }

    std::function<void(int row)> onRowSelected;

    void listReset() override;
    void rowsAppended(int first, int last) override;
    void rowChanged(int row) override;
    void rowSelected(int row) override;
    void statesChanged(int first, int last) override;

    // A line as the list shows it: its start, with line breaks as blanks.
    static QString displayText(std::string_view line);

private:
    conversion::PreviewList& list_;
    int rows_;  // the rows the view has been told of; the list may be ahead
    bool live_ = false;
};

class DatatypeListModel final : public QAbstractTableModel, public conversion::ListObserver {
public:
    explicit DatatypeListModel(conversion::DatatypeList& list, QObject* parent = nullptr);
    ~DatatypeListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void listReset() override;
    void rowsAppended(int first, int last) override;
    void rowChanged(int row) override;
    void rowSelected(int) override {}

private:
    conversion::DatatypeList& list_;
    int rows_;  // the rows the view has been told of
};

// The preview list as CopyCheckedRows reads it: one column, every row ticked
// (nothing in the program ticks rows, so the button copies every line).
class PreviewListRows final : public core::ListRows {
public:
    explicit PreviewListRows(const conversion::PreviewList& list) : list_(list) {}
    int rowCount() const override { return list_.count(); }
    int columnCount() const override { return 1; }
    std::string cell(int row, int) const override { return std::string(list_.text(row)); }
    bool checked(int) const override { return true; }

private:
    const conversion::PreviewList& list_;
};

}  // namespace preview
