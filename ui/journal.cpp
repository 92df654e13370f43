#include "journal.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "formutil.h"

// ------------------------------------------------------------------ the model

void TJournalModel::Set(std::vector<TJournalLine> lines, const QString& serial)
{
    beginResetModel();
    all_ = std::move(lines);
    endResetModel();
    Filter(serial);
}

void TJournalModel::Filter(const QString& serial)
{
    beginResetModel();
    shown_.clear();
    const QString s = serial.trimmed();
    for (int i = 0; i < static_cast<int>(all_.size()); ++i)
        if (s.isEmpty() || all_[i].serial.startsWith(s))
            shown_.push_back(i);
    endResetModel();
}

const TJournalLine* TJournalModel::Line(int row) const
{
    return row >= 0 && row < static_cast<int>(shown_.size()) ? &all_[shown_[row]] : nullptr;
}

int TJournalModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

QVariant TJournalModel::data(const QModelIndex& index, int role) const
{
    const TJournalLine* l = Line(index.row());
    if (!l || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    switch (index.column()) {
    case 0: return QString(l->time).replace(u'T', u' ');
    case 1: return l->action;
    case 2: return l->serial;
    case 3: return l->model;
    case 4: return l->address;
    case 5: return l->outcome;
    case 6: return l->port;
    }
    return {};
}

QVariant TJournalModel::headerData(int section, Qt::Orientation o, int role) const
{
    static const char* const titles[7] = {"Время", "Действие", "Номер", "Тип", "Адрес", "Итог", "Порт"};
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 7)
        return QString::fromUtf8(titles[section]);
    return {};
}

// ------------------------------------------------------------------ the dialog

TJournalForm::TJournalForm(QWidget* parent) : QDialog(parent), model_(new TJournalModel(this))
{
    setObjectName(QStringLiteral("JournalForm"));
    setWindowTitle(QStringLiteral("Журнал"));
    SetDialogFrame(this);
    setFont(WindowFont());
    resize(760, 480);

    auto* filterLabel = new QLabel(QStringLiteral("Заводской номер:"), this);
    filterLabel->setObjectName(QStringLiteral("FilterLabel"));
    Filter = new QLineEdit(this);
    Filter->setObjectName(QStringLiteral("Filter"));
    Filter->setMaximumWidth(90);
    Filter->setClearButtonEnabled(true);
    filterLabel->setBuddy(Filter);
    Table = new QTableView(this);
    Table->setObjectName(QStringLiteral("Table"));
    Table->setModel(model_);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::SingleSelection);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->verticalHeader()->hide();
    Table->verticalHeader()->setDefaultSectionSize(19);
    Table->horizontalHeader()->setStretchLastSection(true);
    Table->setWordWrap(false);
    const int widths[7] = {130, 70, 55, 60, 45, 220, 120};
    for (int c = 0; c < 7; ++c)
        Table->setColumnWidth(c, widths[c]);
    Details = new QPlainTextEdit(this);
    Details->setObjectName(QStringLiteral("Details"));
    Details->setReadOnly(true);
    Details->setMaximumHeight(120);
    WithCounters = new QCheckBox(QStringLiteral("Включая счетчики"), this);
    WithCounters->setObjectName(QStringLiteral("WithCounters"));
    Restore = new QPushButton(QStringLiteral("Восстановить"), this);
    Restore->setObjectName(QStringLiteral("Restore"));
    Close = new QPushButton(QStringLiteral("Закрыть"), this);
    Close->setObjectName(QStringLiteral("Close"));
    Close->setDefault(true);

    auto* top = new QHBoxLayout;
    top->addWidget(filterLabel);
    top->addWidget(Filter);
    top->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(WithCounters);
    bottom->addStretch();
    bottom->addWidget(Restore);
    bottom->addWidget(Close);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(Table, 1);
    all->addWidget(Details);
    all->addLayout(bottom);

    connect(Filter, &QLineEdit::textChanged, this, [this](const QString& s) {
        model_->Filter(s);
        ShowChosen();
    });
    connect(Table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { ShowChosen(); });
    connect(Close, &QPushButton::clicked, this, &QDialog::accept);
    connect(Restore, &QPushButton::clicked, this, [this] {
        const TJournalLine* l = model_->Line(Table->currentIndex().row());
        if (!l || l->backup.isEmpty() || !OnRestore)
            return;
        OnRestore(DataFolder() + u'/' + l->backup, WithCounters->isChecked());
        Load();
    });
}

void TJournalForm::Load(const QString& path)
{
    model_->Set(TServiceRecords::ReadJournal(path), Filter->text());
    if (model_->rowCount() > 0)
        Table->setCurrentIndex(model_->index(0, 0));
    ShowChosen();
}

void TJournalForm::ShowChosen()
{
    const TJournalLine* l = model_->Line(Table->currentIndex().row());
    QString text;
    if (l) {
        text = l->time + u"  "_qs + l->action + u"  "_qs + l->port + u'\n';
        if (!l->serial.isEmpty())
            text += l->model + u" №"_qs + l->serial + u", адрес "_qs + l->address + u'\n';
        text += u"Итог: "_qs + l->outcome + u'\n';
        for (const QString& c : l->changes)
            text += u"  "_qs + c + u'\n';
        if (!l->backup.isEmpty())
            text += u"Резервная копия: "_qs + DataFolder() + u'/' + l->backup + u'\n';
        if (!l->traffic.isEmpty())
            text += u"Обмен: "_qs + DataFolder() + u'/' + l->traffic + u'\n';
    }
    Details->setPlainText(text);
    Restore->setEnabled(l && !l->backup.isEmpty() && QFileInfo::exists(DataFolder() + u'/' + l->backup));
}
