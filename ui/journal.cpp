#include "journal.h"

#include "protocol.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <optional>

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
        if (s.isEmpty() || all_[i].serial.startsWith(s) ||
            (!all_[i].WrittenSerial().isEmpty() && all_[i].WrittenSerial().startsWith(s)))
            shown_.push_back(i);
    endResetModel();
}

const TJournalLine* TJournalModel::Line(int row) const
{
    return row >= 0 && row < static_cast<int>(shown_.size()) ? &all_[shown_[row]] : nullptr;
}

int TJournalModel::RowOf(const TJournalLine& line) const
{
    auto same = [&](const TJournalLine& l) {
        return l.time == line.time && l.action == line.action && l.port == line.port && l.serial == line.serial &&
               l.outcome == line.outcome && l.backup == line.backup && l.traffic == line.traffic;
    };
    for (int r = 0; r < static_cast<int>(shown_.size()); ++r)
        if (same(all_[shown_[r]]))
            return r;
    return -1;
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
    case 1: return TJournalForm::ActionText(l->action);
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
    resize(880, 480);  // room for the outcome, which the column widths leave over

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
    Table->setWordWrap(false);
    const int widths[7] = {130, 140, 55, 60, 45, 220, 120};
    for (int c = 0; c < 7; ++c)
        Table->setColumnWidth(c, widths[c]);
    Table->horizontalHeader()->setSectionResizeMode(5, QHeaderView::Stretch);  // the outcome takes the room
    Details = new QPlainTextEdit(this);
    Details->setObjectName(QStringLiteral("Details"));
    Details->setReadOnly(true);
    Details->setMaximumHeight(120);
    WithCounters = new QCheckBox(QStringLiteral("Включая счетчики"), this);
    WithCounters->setObjectName(QStringLiteral("WithCounters"));
    RestoreNote = new QLabel(this);
    RestoreNote->setObjectName(QStringLiteral("RestoreNote"));
    RestoreNote->setEnabled(false);  // greyed, as the button it explains
    Restore = new QPushButton(QStringLiteral("Восстановить"), this);
    Restore->setObjectName(QStringLiteral("Restore"));
    Protocol = new QPushButton(QStringLiteral("Протокол"), this);
    Protocol->setObjectName(QStringLiteral("Protocol"));
    Protocol->setToolTip(QStringLiteral("Протокол инициализации этой записи в прибор (PDF)"));
    Close = new QPushButton(QStringLiteral("Закрыть"), this);
    Close->setObjectName(QStringLiteral("Close"));
    Close->setDefault(true);

    auto* top = new QHBoxLayout;
    top->addWidget(filterLabel);
    top->addWidget(Filter);
    top->addStretch();
    Limit = new QLabel(this);
    Limit->setObjectName(QStringLiteral("Limit"));
    Limit->setEnabled(false);
    top->addWidget(Limit);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(WithCounters);
    bottom->addStretch();
    bottom->addWidget(RestoreNote);
    bottom->addWidget(Restore);
    bottom->addWidget(Protocol);
    bottom->addWidget(Close);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(Table, 1);
    all->addWidget(Details);
    all->addLayout(bottom);

    connect(Filter, &QLineEdit::textChanged, this, [this](const QString& s) {
        const TJournalLine* chosen = model_->Line(Table->currentIndex().row());
        const std::optional<TJournalLine> keep = chosen ? std::optional(*chosen) : std::nullopt;
        // Up to kShown lines of the serial numbers typed, from the whole journal.
        SetLines(TServiceRecords::ReadJournal(path_, nullptr, {kShown, s.trimmed()}), s);
        Choose(keep ? &*keep : nullptr);
    });
    Filter->installEventFilter(this);
    connect(Table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { ShowChosen(); });
    connect(Close, &QPushButton::clicked, this, &QDialog::accept);
    connect(Restore, &QPushButton::clicked, this, [this] {
        const TJournalLine* l = model_->Line(Table->currentIndex().row());
        if (!l || l->backup.isEmpty() || !OnRestore)
            return;
        bool wrote = false;
        const int undone = l->WrittenSerial().toInt(&wrote);
        OnRestore(DataFolder() + u'/' + l->backup, WithCounters->isChecked(), wrote ? undone : -1);
        Reload();
    });
    connect(Protocol, &QPushButton::clicked, this, [this] {
        const TJournalLine* l = model_->Line(Table->currentIndex().row());
        if (l && HasProtocol(*l) && OnProtocol)
            OnProtocol(*l);
    });
}

QString TJournalForm::ActionText(const QString& action)
{
    static const std::pair<const char16_t*, const char16_t*> names[] = {
        {u"read", u"Считывание"},      {u"init", u"Инициализация"}, {u"leave", u"Выход из инициализации"},
        {u"rtc", u"Коррекция RTC"},    {u"counters", u"Счетчики"},  {u"restore", u"Восстановление"},
        {u"backup", u"Резервная копия"},  {u"damaged", u"Поврежденная строка"},
    };
    for (const auto& [key, text] : names)
        if (action == QStringView(key))
            return QString::fromUtf16(text);
    return action;  // a key of a later version: as written
}

bool TJournalForm::eventFilter(QObject* watched, QEvent* e)
{
    // Enter in the filter filters (it does at every key already); it does not close.
    if (watched == Filter && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            model_->Filter(Filter->text());
            Choose(nullptr);
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void TJournalForm::Load(const QString& path)
{
    path_ = path;
    SetLines(TServiceRecords::ReadJournal(path, nullptr, {kShown, Filter->text().trimmed()}), Filter->text());
    Choose(nullptr);
    WithCounters->setChecked(false);
    Table->setFocus();
}

void TJournalForm::SetLines(std::vector<TJournalLine> lines, const QString& serial)
{
    // A station's journal grows by thousands of lines a week: the newest are shown, and a
    // serial number typed in the filter finds a device's lines however old.
    Limit->setText(static_cast<int>(lines.size()) >= kShown
                       ? QStringLiteral("Показаны последние %1 строк; номер прибора ищет по всему журналу").arg(kShown)
                       : QString());
    model_->Set(std::move(lines), serial);
}

void TJournalForm::Reload()
{
    const TJournalLine* chosen = model_->Line(Table->currentIndex().row());
    const std::optional<TJournalLine> keep = chosen ? std::optional(*chosen) : std::nullopt;
    SetLines(TServiceRecords::ReadJournal(path_, nullptr, {kShown, Filter->text().trimmed()}), Filter->text());
    Choose(keep ? &*keep : nullptr);
}

void TJournalForm::Choose(const TJournalLine* line)
{
    const int row = line ? model_->RowOf(*line) : -1;
    if (model_->rowCount() > 0)
        Table->setCurrentIndex(model_->index(row >= 0 ? row : 0, 0));
    ShowChosen();
}

void TJournalForm::ShowChosen()
{
    const TJournalLine* l = model_->Line(Table->currentIndex().row());
    QString text;
    if (l) {
        text = l->time + u"  "_qs + ActionText(l->action) + u"  "_qs + l->port + u'\n';
        if (!l->serial.isEmpty())
            text += (l->model.isEmpty() ? QString() : l->model + u' ') + u"№"_qs + l->serial + u", адрес "_qs +
                    l->address + u'\n';
        text += u"Итог: "_qs + l->outcome + u'\n';
        for (const QString& c : l->changes)
            text += u"  "_qs + c + u'\n';
        if (!l->backup.isEmpty())
            text += u"Резервная копия: "_qs + DataFolder() + u'/' + l->backup + u'\n';
        if (!l->traffic.isEmpty())
            text += u"Обмен: "_qs + DataFolder() + u'/' + l->traffic + u'\n';
    }
    Details->setPlainText(text);
    QString why;
    if (!l || l->backup.isEmpty())
        why = l ? QStringLiteral("У этой строки нет резервной копии") : QString();
    else if (!QFileInfo::exists(DataFolder() + u'/' + l->backup))
        why = QStringLiteral("Файл резервной копии не найден");
    Restore->setEnabled(l && why.isEmpty());
    Protocol->setEnabled(l && HasProtocol(*l));
    RestoreNote->setText(why);
    Restore->setToolTip(why);
}
