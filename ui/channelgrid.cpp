#include "channelgrid.h"

#include <QComboBox>
#include <QKeyEvent>

#include "formutil.h"

TChannelsModel::TChannelsModel(TChannelTable& table, QObject* parent) : QAbstractTableModel(parent), Table(table) {}

int TChannelsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shownRows_; }

QVariant TChannelsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Table.RowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::AccessibleTextRole: return QString::fromStdString(Table.GetText(index.row(), index.column()));
    case Qt::TextAlignmentRole:
        return index.column() == colChannel ? QVariant(Qt::AlignCenter) : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::FontRole:
        if (index.column() == colChannel) {
            QFont f = WindowFont();
            f.setBold(true);
            return f;
        }
        return {};
    }
    return {};
}

bool TChannelsModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    // The entry conversion: an unknown text changes nothing and says nothing.
    Table.SetText(index.row(), index.column(), value.toString().toStdString());
    return true;
}

Qt::ItemFlags TChannelsModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.isValid() && !Table.Column(index.column()).ReadOnly)
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant TChannelsModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o != Qt::Horizontal)
        return {};
    static const char* const titles[4] = {"№", "Цена входного импульса", "Тест линии", "Тип входного сигнала"};
    if (role == Qt::DisplayRole && section >= 0 && section < 4)
        return QString::fromUtf8(titles[section]);
    if (role == Qt::TextAlignmentRole)
        return QVariant(Qt::AlignCenter);
    return {};
}

void TChannelsModel::Refresh()
{
    if (Table.RowCount() != shownRows_) {  // rows came or went: only at start
        beginResetModel();
        shownRows_ = Table.RowCount();
        endResetModel();
    } else if (shownRows_ > 0) {
        emit dataChanged(index(0, 0), index(shownRows_ - 1, 3));
    }
}

QWidget* TPickListDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    const auto& picks = table_.Column(index.column()).PickList;
    if (picks.empty())
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    for (const auto& p : picks)
        combo->addItem(QString::fromStdString(p));
    // A choice from the list is written at once, not only on Enter or leaving the cell.
    connect(combo, &QComboBox::activated, this, [this, combo] {
        auto* self = const_cast<TPickListDelegate*>(this);
        emit self->commitData(combo);
        emit self->closeEditor(combo);
    });
    return combo;
}

void TPickListDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        const QString text = index.data(Qt::EditRole).toString();
        const int i = combo->findText(text, Qt::MatchExactly);
        if (i >= 0)
            combo->setCurrentIndex(i);
        combo->setEditText(text);
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void TPickListDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        model->setData(index, combo->currentText(), Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

void TChannelGrid::keyPressEvent(QKeyEvent* e)
{
    // Moving below the last row, or the insert and delete keys, would change the rows.
    const bool down = e->key() == Qt::Key_Down && currentIndex().row() == model()->rowCount() - 1;
    if ((down || e->key() == Qt::Key_Insert) && OnInsert) {
        OnInsert();
        return;
    }
    if (e->key() == Qt::Key_Delete && (e->modifiers() & Qt::ControlModifier) && OnDelete) {
        OnDelete();
        return;
    }
    QTableView::keyPressEvent(e);
}
