// The Qt models over the preview and datatype lists.
#include "preview/list_models.h"

#include <QFont>
#include <QGuiApplication>
#include <QPalette>

#include <algorithm>

namespace preview {

namespace {
constexpr std::size_t kShownCharacters = 4000;  // a memo line shows its start; all of it is kept
}

PreviewListModel::PreviewListModel(conversion::PreviewList& list, QObject* parent)
    : QAbstractListModel(parent), list_(list), rows_(list.count())
{
    list_.setObserver(this);
}

PreviewListModel::~PreviewListModel()
{
    list_.setObserver(nullptr);
}

int PreviewListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

QString PreviewListModel::displayText(std::string_view line)
{
    const std::string_view shown = line.substr(0, kShownCharacters);
    QString text = QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
    for (QChar& c : text) {
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    }
    return text;
}

QVariant PreviewListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_ || index.row() >= list_.count())
        return {};
    const int row = index.row() + 1;
    switch (role) {
    case Qt::DisplayRole:
        return displayText(list_.text(row));
    case Qt::ForegroundRole:
        // A line that ran steps back, so the eye finds where Execute SQL goes on.
        if (list_.state(row) == conversion::LineState::Ran)
            return QGuiApplication::palette().brush(QPalette::PlaceholderText);
        return {};
    case Qt::FontRole:
        // A line in doubt reads apart from both: it did not surely run, and it will not run again.
        // Only the slant is set: the view's own font gives the rest.
        if (list_.state(row) == conversion::LineState::InDoubt) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    default:
        return {};
    }
}

QVariant PreviewListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return QStringLiteral("SQL Preview");
    return {};
}

void PreviewListModel::refresh()
{
    beginResetModel();
    rows_ = list_.count();
    endResetModel();
}

void PreviewListModel::listReset()
{
    refresh();
}

void PreviewListModel::rowsAppended(int first, int last)
{
    // The list has stored the rows already; the view learns of them here, in
    // the order Qt's model contract asks: announce, count them, done.
    if (!live_ || first != rows_ + 1 || last < first) {
        if (live_)
            refresh();
        return;
    }
    beginInsertRows({}, first - 1, last - 1);
    rows_ = last;
    endInsertRows();
}

void PreviewListModel::rowChanged(int row)
{
    const QModelIndex i = index(row - 1, 0);
    if (i.isValid())
        emit dataChanged(i, i);
}

void PreviewListModel::statesChanged(int first, int last)
{
    first = std::max(first, 1);
    last = std::min(last, rows_);
    // Only the look follows a line's state: the view measures no text for it.
    if (first <= last)
        emit dataChanged(index(first - 1, 0), index(last - 1, 0), {Qt::ForegroundRole, Qt::FontRole});
}

void PreviewListModel::rowSelected(int row)
{
    if (onRowSelected)
        onRowSelected(row);
}

DatatypeListModel::DatatypeListModel(conversion::DatatypeList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list), rows_(list.count())
{
    list_.setObserver(this);
}

DatatypeListModel::~DatatypeListModel()
{
    list_.setObserver(nullptr);
}

int DatatypeListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int DatatypeListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant DatatypeListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= rows_ || index.row() >= list_.count())
        return {};
    const auto& r = list_.record(index.row() + 1);
    const std::string* texts[] = {&r.table, &r.field, &r.paradoxType, &r.sqlType};
    return QString::fromStdString(*texts[index.column()]);
}

QVariant DatatypeListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const kHeaders[] = {"Paradox Table", "Paradox Table Field",
                                           "Paradox Field Datatype", "New MS SQL Server Datatype"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 4)
        return QString::fromUtf8(kHeaders[section]);
    return {};
}

void DatatypeListModel::listReset()
{
    beginResetModel();
    rows_ = list_.count();
    endResetModel();
}

void DatatypeListModel::rowsAppended(int first, int last)
{
    if (first != rows_ + 1 || last < first) {
        listReset();
        return;
    }
    beginInsertRows({}, first - 1, last - 1);
    rows_ = last;
    endInsertRows();
}

void DatatypeListModel::rowChanged(int row)
{
    if (row >= 1 && row <= rows_)
        emit dataChanged(index(row - 1, 0), index(row - 1, 3));
}

}  // namespace preview
