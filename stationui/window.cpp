#include "window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>

#include "base/portlist.h"
#include "base/refusal.h"
#include "guard.h"
#include "labeldraw.h"
#include "msgs.h"
#include "protocol.h"
#include "records/durable.h"
#include "records/records.h"
#include "team/teambook.h"
#include "team/teamsync.h"
#include "tile.h"
#include "version.h"

using namespace Qt::StringLiterals;

namespace {
const QString kTitle = u"Станция нумерации ЗЕНДА"_s;
const QString kPdfChoice = u"PDF-файл..."_s;

QPushButton* Button(QWidget* parent, const char* name, const QString& text)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
template <class W>
W* Named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// The part of a fixture's path that tells it apart (/dev/serial/by-id/usb-FTDI_..._A1-if00-port0).
QString Shown(const QString& port)
{
    QString s = port.section(u'/', -1);
    s.remove(QRegularExpression(u"-if\\d+-port\\d+$"_s));
    return s.size() > 28 ? u"…"_s + s.right(27) : s;
}
}  // namespace

TStationWindow::TStationWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(u"StationWindow"_s);
    setWindowTitle(kTitle);
    pages_ = new QStackedWidget(this);
    pages_->addWidget(BuildSetup());
    pages_->addWidget(BuildRun());
    setCentralWidget(pages_);
    resize(1100, 760);
    ticker_ = new QTimer(this);
    ticker_->setInterval(1000);
    connect(ticker_, &QTimer::timeout, this, [this] {
        for (TTile* t : tileList_)
            t->Tick();
        UpdateTotals();
    });
    const QStringList names = BatchNames();
    Batch->addItems(names);
    if (!names.isEmpty()) {
        RunGuarded([&] { ShowBatch(LoadBatch(names.first())); });
    } else {
        ShowBatch(TBatch{});
    }
}

TStationWindow::~TStationWindow()
{
    stop_ = stopNow_ = true;
    if (runner_.joinable())
        runner_.join();
}

// ------------------------------------------------------------------ the set-up

QWidget* TStationWindow::BuildSetup()
{
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(u"Партия:"_s, page));
    Batch = Named(new QComboBox(page), "Batch");
    Batch->setEditable(true);
    Batch->setMinimumWidth(260);
    top->addWidget(Batch);
    auto* open = Button(page, "OpenBatch", u"Открыть"_s);
    auto* save = Button(page, "SaveBatch", u"Сохранить"_s);
    top->addWidget(open);
    top->addWidget(save);
    top->addStretch();
    v->addLayout(top);

    auto* middle = new QHBoxLayout;
    // The plan.
    auto* planBox = new QGroupBox(u"План"_s, page);
    auto* pv = new QVBoxLayout(planBox);
    auto* rangeRow = new QHBoxLayout;
    Range = Named(new QRadioButton(u"Номера подряд: с"_s, planBox), "Range");
    First = Named(new QSpinBox(planBox), "First");
    First->setRange(1, 65535);
    Count = Named(new QSpinBox(planBox), "Count");
    Count->setRange(1, 65535);
    rangeRow->addWidget(Range);
    rangeRow->addWidget(First);
    rangeRow->addWidget(new QLabel(u"количество"_s, planBox));
    rangeRow->addWidget(Count);
    rangeRow->addStretch();
    auto* fileRow = new QHBoxLayout;
    FromFile = Named(new QRadioButton(u"Файл плана:"_s, planBox), "FromFile");
    PlanFile = Named(new QLineEdit(planBox), "PlanFile");
    auto* choose = Button(planBox, "ChoosePlan", u"Выбрать..."_s);
    fileRow->addWidget(FromFile);
    fileRow->addWidget(PlanFile, 1);
    fileRow->addWidget(choose);
    Plan = Named(new QTableWidget(0, 6, planBox), "Plan");
    Plan->setHorizontalHeaderLabels(
        {u"Номер"_s, u"Адрес"_s, u"Канал 1"_s, u"Канал 2"_s, u"V2"_s, u"Не подходит для"_s});
    Plan->horizontalHeader()->setStretchLastSection(true);
    Plan->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PlanNote = Named(new QLabel(planBox), "PlanNote");
    PlanNote->setWordWrap(true);
    pv->addLayout(rangeRow);
    pv->addLayout(fileRow);
    pv->addWidget(Plan, 1);
    pv->addWidget(PlanNote);
    middle->addWidget(planBox, 3);

    auto* right = new QVBoxLayout;
    // The fixtures.
    auto* portsBox = new QGroupBox(u"Приспособления"_s, page);
    auto* portsV = new QVBoxLayout(portsBox);
    Ports = Named(new QListWidget(portsBox), "Ports");
    auto* addRow = new QHBoxLayout;
    AddPort = Named(new QLineEdit(portsBox), "AddPort");
    AddPort->setPlaceholderText(u"путь к порту, например /dev/ttyUSB3"_s);
    auto* add = Button(portsBox, "AddPortButton", u"Добавить"_s);
    auto* refresh = Button(portsBox, "RefreshPorts", u"Обновить"_s);
    addRow->addWidget(AddPort, 1);
    addRow->addWidget(add);
    addRow->addWidget(refresh);
    portsV->addWidget(Ports);
    portsV->addLayout(addRow);
    right->addWidget(portsBox, 1);

    // What every device gets.
    auto* setBox = new QGroupBox(u"Настройки приборов"_s, page);
    auto* form = new QFormLayout(setBox);
    Address = Named(new QLineEdit(setBox), "Address");
    Address->setPlaceholderText(u"как в приборе"_s);
    Ch1 = Named(new QLineEdit(setBox), "Ch1");
    Ch1->setPlaceholderText(u"как в приборе (value=0.01,type=pulse,test=no)"_s);
    Ch2 = Named(new QLineEdit(setBox), "Ch2");
    Ch2->setPlaceholderText(Ch1->placeholderText());
    V2 = Named(new QComboBox(setBox), "V2");
    V2->addItems({u"как в приборе"_s, u"нет"_s, u"да"_s});
    Protocol = Named(new QCheckBox(u"Протокол на каждый прибор"_s, setBox), "Protocol");
    Labels = Named(new QCheckBox(u"Этикетка на каждый прибор"_s, setBox), "Labels");
    LabelTarget = Named(new QComboBox(setBox), "LabelTarget");
    LabelTarget->setEditable(true);
    LabelSize = Named(new QLineEdit(u"58x40"_s, setBox), "LabelSize");
    Team = Named(new QCheckBox(u"Номера из книги команды (сервер команды)"_s, setBox), "Team");
    Team->setEnabled(TeamConfigured());
    if (!TeamConfigured())
        Team->setToolTip(u"Сервер команды на этом ПК не задан (zenda team connect)"_s);
    form->addRow(u"Сетевой адрес:"_s, Address);
    form->addRow(u"Канал 1:"_s, Ch1);
    form->addRow(u"Канал 2:"_s, Ch2);
    form->addRow(u"Сброс V2:"_s, V2);
    form->addRow(Protocol);
    form->addRow(Labels);
    form->addRow(u"Принтер или файл:"_s, LabelTarget);
    form->addRow(u"Размер этикетки, мм:"_s, LabelSize);
    form->addRow(Team);
    right->addWidget(setBox);
    middle->addLayout(right, 2);
    v->addLayout(middle, 1);

    auto* startRow = new QHBoxLayout;
    startRow->addStretch();
    auto* start = Button(page, "Start", u"Начать"_s);
    QFont big = start->font();
    big.setPointSize(16);
    big.setBold(true);
    start->setFont(big);
    start->setMinimumSize(220, 56);
    startRow->addWidget(start);
    v->addLayout(startRow);

    connect(open, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { ShowBatch(LoadBatch(Batch->currentText())); }); });
    connect(save, &QPushButton::clicked, this, [this] {
        RunGuarded([this] {
            const TBatch b = FromFields();
            SaveBatch(b);
            if (Batch->findText(b.name) < 0)
                Batch->addItem(b.name);
            statusBar()->showMessage(u"Партия \"%1\" сохранена"_s.arg(b.name), 5000);
        });
    });
    connect(Range, &QRadioButton::toggled, this, [this] { ShowPlan(); });
    connect(First, &QSpinBox::valueChanged, this, [this] { ShowPlan(); });
    connect(Count, &QSpinBox::valueChanged, this, [this] { ShowPlan(); });
    connect(PlanFile, &QLineEdit::editingFinished, this, [this] { ShowPlan(); });
    connect(Ch1, &QLineEdit::editingFinished, this, [this] { ShowPlan(); });
    connect(Ch2, &QLineEdit::editingFinished, this, [this] { ShowPlan(); });
    connect(choose, &QPushButton::clicked, this, [this] {
        const QString f =
            QFileDialog::getOpenFileName(this, u"План"_s, PlanFile->text(), u"План (*.csv);;Все файлы (*)"_s);
        if (!f.isEmpty()) {
            PlanFile->setText(f);
            FromFile->setChecked(true);
            ShowPlan();
        }
    });
    connect(add, &QPushButton::clicked, this, [this] {
        const QString p = AddPort->text().trimmed();
        if (p.isEmpty())
            return;
        QStringList checked;
        for (int i = 0; i < Ports->count(); ++i)
            if (Ports->item(i)->checkState() == Qt::Checked)
                checked << Ports->item(i)->data(Qt::UserRole).toString();
        FillPorts(checked << p);
        AddPort->clear();
    });
    connect(AddPort, &QLineEdit::returnPressed, add, &QPushButton::click);
    connect(refresh, &QPushButton::clicked, this, [this] { FillPorts(FromFields().ports); });
    connect(LabelTarget, &QComboBox::activated, this, [this](int i) {
        if (LabelTarget->itemText(i) != kPdfChoice)
            return;
        const QString f = QFileDialog::getSaveFileName(this, u"Этикетки"_s, {}, u"PDF (*.pdf)"_s);
        LabelTarget->setEditText(f);
    });
    connect(start, &QPushButton::clicked, this, [this] { RunGuarded([this] { Start(); }); });
    return page;
}

void TStationWindow::FillPorts(const QStringList& checked)
{
    Ports->clear();
    QStringList listed;
    auto addItem = [&](const QString& port, const QString& text) {
        auto* item = new QListWidgetItem(text, Ports);
        item->setData(Qt::UserRole, port);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(checked.contains(port) ? Qt::Checked : Qt::Unchecked);
        listed << port;
    };
    const TPortList list = ListPorts();
    for (const TComEntry& c : list.coms)
        if (c.state != "missing")
            addItem(QString::fromStdString(c.name),
                    QString::fromStdString(c.name) +
                        (c.path != c.name ? u" → "_s + QString::fromStdString(c.path) : QString()) +
                        (c.description.empty() ? QString() : u"  ("_s + QString::fromStdString(c.description) + u')'));
    for (const TDeviceEntry& d : list.devices)
        addItem(QString::fromStdString(d.path),
                QString::fromStdString(d.path) +
                    (d.target.empty() ? QString() : u" → "_s + QString::fromStdString(d.target)));
    for (const QString& p : checked)
        if (!listed.contains(p))
            addItem(p, p);
}

void TStationWindow::ShowBatch(const TBatch& b)
{
    Batch->setEditText(b.name);
    (b.fromFile ? FromFile : Range)->setChecked(true);
    First->setValue(b.first);
    Count->setValue(b.count);
    PlanFile->setText(b.planFile);
    FillPorts(b.ports);
    Address->setText(b.address);
    Ch1->setText(b.ch1);
    Ch2->setText(b.ch2);
    V2->setCurrentIndex(b.v2Reset + 1);
    Protocol->setChecked(b.protocol);
    Labels->setChecked(b.labels);
    LabelTarget->clear();
    LabelTarget->addItems(LabelPrinters());
    LabelTarget->addItem(kPdfChoice);
    LabelTarget->setEditText(b.labelTarget);
    LabelSize->setText(b.labelSize);
    Team->setChecked(b.team && Team->isEnabled());
    ShowPlan();
}

TBatch TStationWindow::FromFields() const
{
    TBatch b;
    b.name = Batch->currentText().trimmed();
    b.fromFile = FromFile->isChecked();
    b.first = First->value();
    b.count = Count->value();
    b.planFile = PlanFile->text().trimmed();
    for (int i = 0; i < Ports->count(); ++i)
        if (Ports->item(i)->checkState() == Qt::Checked)
            b.ports << Ports->item(i)->data(Qt::UserRole).toString();
    b.address = Address->text().trimmed();
    b.ch1 = Ch1->text().trimmed();
    b.ch2 = Ch2->text().trimmed();
    b.v2Reset = V2->currentIndex() - 1;
    b.protocol = Protocol->isChecked();
    b.labels = Labels->isChecked();
    b.labelTarget = LabelTarget->currentText() == kPdfChoice ? QString() : LabelTarget->currentText().trimmed();
    b.labelSize = LabelSize->text().trimmed();
    b.team = Team->isChecked();
    return b;
}

void TStationWindow::ShowPlan()
{
    Plan->setRowCount(0);
    PlanNote->clear();
    const TBatch b = FromFields();
    try {
        const std::vector<TPlanRow> rows = BatchRows(b);
        TPlanRow defaults;
        defaults.ch1 = b.ch1;
        defaults.ch2 = b.ch2;
        // A range has no rows of its own: its first numbers stand for all.
        const int shown = static_cast<int>(std::min<size_t>(rows.size(), 500));
        Plan->setRowCount(shown);
        int unfit = 0;
        for (int i = 0; i < shown; ++i) {
            const TPlanRow& r = rows[static_cast<size_t>(i)];
            const QStringList no = UnfitModels(r, defaults);
            const QStringList cells{QString::number(r.serial),
                                    r.address ? QString::number(*r.address) : QString(),
                                    r.ch1,
                                    r.ch2,
                                    r.v2Reset < 0 ? QString()
                                    : r.v2Reset   ? u"да"_s
                                                  : u"нет"_s,
                                    no.join(u", "_s)};
            for (int c = 0; c < 6; ++c) {
                auto* item = new QTableWidgetItem(cells[c]);
                if (!no.isEmpty())
                    item->setBackground(QColor(0xf5, 0xd0, 0xa0));
                Plan->setItem(i, c, item);
            }
            unfit += !no.isEmpty();
        }
        PlanNote->setText(
            u"Приборов в плане: %1%2"_s.arg(rows.size())
                .arg(unfit ? u"; строк, которые не всякая модель примет: %1 (отмечены)"_s.arg(unfit) : QString()));
    } catch (const std::exception& e) {
        PlanNote->setText(QString::fromUtf8(e.what()));
    }
}

void TStationWindow::Start()
{
    TBatch b = FromFields();
    const std::vector<TPlanRow> rows = BatchRows(b);
    options_ = BatchOptions(b);
    options_.program = QStringLiteral("zenda-station " ZENDA_VERSION);
    std::optional<TLabelTarget> target;
    if (b.labels) {
        if (b.labelTarget.isEmpty())
            ErrorAbort(u"Укажите принтер этикеток или PDF-файл"_s, u"Ошибка"_s);
        target = ::LabelTarget(b.labelTarget, ParseLabelSize(b.labelSize));
        if (!target->IsPdf() && !LabelPrinters().contains(target->printer))
            ErrorAbort(u"Принтер \"%1\" не найден в системе"_s.arg(target->printer), u"Ошибка"_s);
        if (target->IsPdf() && QFileInfo::exists(target->pdf))
            ErrorAbort(
                u"Файл этикеток %1 уже есть: этикетки каждого запуска пишутся в новый файл (этикетку прибора "
                u"ещё раз делает кнопка \"Этикетка ещё раз...\")"_s.arg(target->pdf),
                u"Ошибка"_s);
    }
    TWaitCursor wait;
    auto lock = std::make_unique<TStationLock>();
    std::unique_ptr<TLabeler> labeler;
    if (target)
        labeler = std::make_unique<TLabeler>(*target, LabelsPdf);
    auto book = std::make_unique<TNumberBook>(rows);
    std::unique_ptr<TSharedNumbers> team;
    if (b.team) {
        team = TeamNumbers(TeamConnInfo());
        book->Share(team.get());
    }
    QStringList notes;
    try {
        notes = book->Load(TServiceRecords::JournalPath(), DataFolder() + u"/backups"_s, false);
    } catch (const ERefused& e) {
        // The ledger is missing beside records of the plan: made anew only when the operator says so.
        if (!AskYesNoCancelNo(
                QString::fromUtf8(e.what()) + u"\n\nСоставить книгу номеров заново по журналу и резервным копиям?"_s,
                u"Подтверждение"_s))
            return;
        notes = book->Load(TServiceRecords::JournalPath(), DataFolder() + u"/backups"_s, true);
    }
    if (book->Finished())
        ErrorAbort(u"В плане не осталось номеров: все использованы"_s, u"Ошибка"_s);
    auto station = std::make_unique<TStation>(options_, *book, static_cast<TStationHost&>(*this));
    station->OpenPorts();

    // Running: the state moves to the window.
    batch_ = b;
    lock_ = std::move(lock);
    labeler_ = std::move(labeler);
    team_ = std::move(team);
    book_ = std::move(book);
    station_ = std::move(station);
    stop_ = stopNow_ = false;
    done_ = failed_ = skipped_ = 0;
    lastDone_ = -1;
    paused_.clear();
    unacknowledged_.clear();
    for (TTile* t : tileList_)
        delete t;
    tileList_.clear();
    Events->clear();
    const int columns = options_.ports.size() <= 4 ? 2 : 4;
    for (size_t i = 0; i < options_.ports.size(); ++i) {
        const QString port = options_.ports[i];
        auto* tile = new TTile(port, Shown(port), static_cast<int>(i), pages_->widget(1));
        tiles_->addWidget(tile, static_cast<int>(i) / columns, static_cast<int>(i) % columns);
        tileList_.push_back(tile);
        connect(tile->PauseButton(), &QPushButton::clicked, this, [this, tile] {
            std::lock_guard<std::mutex> g(heldMu_);
            bool& p = paused_[tile->Fixture()];
            p = !p;
            tile->SetPaused(p);
            if (p && tile->Look() == TTile::Waiting)
                tile->Show(TTile::Paused, -1, {}, u"Приспособление на паузе: прибор не будет взят"_s);
            else if (!p && tile->Look() == TTile::Paused)
                tile->Show(TTile::Waiting, -1, {}, {});
        });
        connect(tile->AcknowledgeButton(), &QPushButton::clicked, this, [this, tile] {
            {
                std::lock_guard<std::mutex> g(heldMu_);
                unacknowledged_[tile->Fixture()] = false;
            }
            Log(tile->Fixture() + u": сбой проверен оператором"_s);
            if (tile->Look() == TTile::Acknowledge)
                tile->Show(TTile::Waiting, -1, {}, {});
        });
    }
    Title->setText(
        u"Партия \"%1\": %2"_s.arg(b.name.isEmpty() ? u"без имени"_s : b.name,
                                   b.fromFile ? b.planFile : u"№ %1..%2"_s.arg(b.first).arg(b.first + b.count - 1)));
    for (const QString& n : notes)
        Log(n);
    if (labeler_) {
        Log(u"Этикетки: "_s + (labeler_->Target().IsPdf() ? labeler_->Target().pdf : labeler_->Target().printer));
        // Labels an earlier run left due (stopped between a device's verification and its label).
        for (const TLabel& l : TLabeler::Due()) {
            try {
                Log(u"№ %1: этикетка, которую не успел сделать прошлый запуск: %2"_s.arg(l.serial).arg(
                    labeler_->Make(l)));
            } catch (const std::exception& x) {
                Log(u"№ %1: этикетка не сделана: %2"_s.arg(l.serial).arg(QString::fromUtf8(x.what())));
            }
        }
    }
    Stop->setEnabled(true);
    StopNowButton->setEnabled(true);
    NewBatch->setEnabled(false);
    pages_->setCurrentIndex(1);
    started_ = QDateTime::currentDateTime();
    UpdateTotals();
    ticker_->start();
    running_ = true;
    runner_ = std::thread([this] {
        station_->Run();
        QMetaObject::invokeMethod(
            this, [this] { Finished(); }, Qt::QueuedConnection);
    });
}

// ------------------------------------------------------------------ the run

QWidget* TStationWindow::BuildRun()
{
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    Title = Named(new QLabel(page), "Title");
    QFont f = Title->font();
    f.setPointSize(15);
    f.setBold(true);
    Title->setFont(f);
    Totals = Named(new QLabel(page), "Totals");
    f.setPointSize(14);
    f.setBold(false);
    Totals->setFont(f);
    Progress = Named(new QProgressBar(page), "Progress");
    Progress->setFormat(u"использовано %v из %m"_s);
    v->addWidget(Title);
    v->addWidget(Totals);
    v->addWidget(Progress);
    tiles_ = new QGridLayout;
    v->addLayout(tiles_, 3);
    Events = Named(new QListWidget(page), "Events");
    v->addWidget(Events, 1);
    auto* buttons = new QHBoxLayout;
    ReprintButton = Button(page, "Reprint", u"Этикетка ещё раз..."_s);
    Stop = Button(page, "Stop", u"Остановить после приборов"_s);
    StopNowButton = Button(page, "StopNow", u"Остановить сейчас"_s);
    NewBatch = Button(page, "NewBatch", u"Новая партия"_s);
    buttons->addWidget(ReprintButton);
    buttons->addStretch();
    buttons->addWidget(Stop);
    buttons->addWidget(StopNowButton);
    buttons->addWidget(NewBatch);
    v->addLayout(buttons);
    connect(ReprintButton, &QPushButton::clicked, this, [this] { RunGuarded([this] { Reprint(); }); });
    connect(Stop, &QPushButton::clicked, this, [this] {
        stop_ = true;
        Stop->setEnabled(false);
        Log(u"Остановка: каждое приспособление заканчивает свой прибор"_s);
    });
    connect(StopNowButton, &QPushButton::clicked, this, [this] {
        if (!AskYesNoCancelNo(u"Остановить сейчас? Записанный прибор останется в режиме инициализации; начатая "
                              u"запись закончится проверкой."_s,
                              u"Подтверждение"_s))
            return;
        stop_ = stopNow_ = true;
        Stop->setEnabled(false);
        StopNowButton->setEnabled(false);
        Log(u"Остановка сейчас: приборы не выводятся из режима инициализации"_s);
    });
    connect(NewBatch, &QPushButton::clicked, this, [this] {
        pages_->setCurrentIndex(0);
        ShowPlan();
    });
    return page;
}

void TStationWindow::Report(const TStationEvent& e)
{
    if (e.kind == TStationEvent::Failed) {
        std::lock_guard<std::mutex> g(heldMu_);
        unacknowledged_[e.fixture] = true;
    }
    if (e.kind == TStationEvent::Done)
        MakeDocuments(e);  // here, on the fixture's thread: the label follows the verification at once
    QMetaObject::invokeMethod(
        this, [this, e] { Event(e); }, Qt::QueuedConnection);
}

bool TStationWindow::Held(const QString& fixture) const
{
    std::lock_guard<std::mutex> g(heldMu_);
    const auto p = paused_.find(fixture);
    const auto u = unacknowledged_.find(fixture);
    return (p != paused_.end() && p->second) || (u != unacknowledged_.end() && u->second);
}

void TStationWindow::MakeDocuments(const TStationEvent& e)
{
    std::lock_guard<std::mutex> g(documentsMu_);
    auto note = [&](const QString& text) {
        TStationEvent n(TStationEvent::Note, e.fixture, e.serial, text);
        QMetaObject::invokeMethod(
            this, [this, n] { Event(n); }, Qt::QueuedConnection);
    };
    if (labeler_) {
        const auto at = std::chrono::steady_clock::now();
        try {
            const QString done = labeler_->Make({e.serial, ModelName(e.model), QDate::currentDate()});
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - at);
            note(u"этикетка: %1 (%2 мс)"_s.arg(done).arg(ms.count()));
        } catch (const std::exception& x) {
            note(u"Этикетка не сделана: %1 (кнопка \"Этикетка ещё раз...\")"_s.arg(QString::fromUtf8(x.what())));
        }
    }
    if (batch_.protocol) {
        try {
            TProtocol doc = StationProtocol(e.serial, options_.program);
            TProtocolNumber number;
            doc.number = number.number;
            const QString path = SaveProtocol(doc, ProtocolPdf(doc));
            number.Keep();
            note(u"протокол: "_s + path);
        } catch (const std::exception& x) {
            note(u"Не удалось сохранить протокол: "_s + QString::fromUtf8(x.what()));
        }
    }
}

void TStationWindow::Event(const TStationEvent& e)
{
    TTile* tile = nullptr;
    for (TTile* t : tileList_)
        if (t->Fixture() == e.fixture)
            tile = t;
    const QString model = e.model ? ModelName(e.model) : QString();
    const QString& message = e.message;
    bool paused = false, unacknowledged = false;
    {
        std::lock_guard<std::mutex> g(heldMu_);
        paused = paused_[e.fixture];
        unacknowledged = unacknowledged_[e.fixture];
    }
    switch (e.kind) {
    case TStationEvent::Waiting:
        if (tile)
            tile->Show(paused ? TTile::Paused : TTile::Waiting, -1, {}, {});
        return;
    case TStationEvent::Device:
        if (tile)
            tile->Show(TTile::Device, -1, {}, {});
        return;
    case TStationEvent::Writing:
        if (tile)
            tile->Show(TTile::Writing, e.serial, {}, {});
        return;
    case TStationEvent::Done:
        ++done_;
        lastDone_ = e.serial;
        if (tile)
            tile->Show(TTile::Done, e.serial, model, {});
        Log(u"%1: № %2 записан и проверен (%3)"_s.arg(e.fixture).arg(e.serial).arg(model));
        break;
    case TStationEvent::Failed:
        ++failed_;
        if (tile)
            tile->Show(TTile::Failed, e.serial, model,
                       (e.spoiled ? u"Номер испорчен: запись начиналась. "_s
                        : e.used  ? u"Номер использован: записан и проверен. "_s
                                  : u"Номер свободен. "_s) +
                           e.message);
        Log(u"%1: сбой, № %2: %3"_s.arg(e.fixture).arg(e.serial).arg(e.message));
        break;
    case TStationEvent::Skipped:
        ++skipped_;
        if (tile)
            tile->Show(TTile::Skipped, e.serial, model, u"Прибор уже пронумерован: номер не меняется"_s);
        Log(u"%1: прибор № %2 уже пронумерован, пропущен"_s.arg(e.fixture).arg(e.serial));
        break;
    case TStationEvent::TakeOff:
        if (tile && !e.message.isEmpty()) {
            if (tile->Look() == TTile::Waiting || tile->Look() == TTile::Device)
                tile->Show(TTile::Skipped, e.serial, model, e.message);
            Log(e.fixture + u": "_s + e.message);
        }
        break;
    case TStationEvent::Gone:
        if (tile)
            tile->Show(
                unacknowledged ? TTile::Acknowledge
                : paused       ? TTile::Paused
                               : TTile::Waiting,
                -1, {},
                unacknowledged ? u"Прибор со сбоем снят? Проверьте его и нажмите \"Проверено, дальше\""_s : QString());
        break;
    case TStationEvent::Finished:
        // A failed device not acknowledged yet still asks for its check.
        if (tile && !unacknowledged)
            tile->Show(TTile::Finished, -1, {}, e.message);
        else if (tile && tile->Look() != TTile::Failed)
            tile->Show(TTile::Acknowledge, -1, {}, u"Прибор со сбоем проверен? Нажмите \"Проверено, дальше\""_s);
        break;
    case TStationEvent::Note:
        Log(e.fixture + (e.serial >= 0 ? u" № "_s + QString::number(e.serial) : QString()) + u": "_s + message);
        break;
    }
    UpdateTotals();
}

void TStationWindow::Log(const QString& text)
{
    Events->insertItem(0, QTime::currentTime().toString(u"HH:mm:ss "_s) + OnOneLine(text));
    while (Events->count() > 500)
        delete Events->takeItem(Events->count() - 1);
}

void TStationWindow::UpdateTotals()
{
    if (!book_)
        return;
    const int spoiled = book_->Count(TNumberBook::TState::Spoiled, false);
    const int left = book_->Count(TNumberBook::TState::Free) + book_->Count(TNumberBook::TState::Taken);
    const int all = static_cast<int>(book_->Entries().size());
    const qint64 seconds = std::max<qint64>(1, started_.secsTo(QDateTime::currentDateTime()));
    Totals->setText(
        u"Готово: %1   Сбой: %2   Испорчено: %3   Пропущено: %4   Осталось в плане: %5   В час: %6"_s.arg(done_)
            .arg(failed_)
            .arg(spoiled)
            .arg(skipped_)
            .arg(left)
            .arg(QString::number(done_ * 3600.0 / static_cast<double>(seconds), 'f', 0)));
    Progress->setMaximum(std::max(1, all));
    Progress->setValue(all - left);
}

void TStationWindow::Finished()
{
    if (runner_.joinable())
        runner_.join();
    running_ = false;
    ticker_->stop();
    UpdateTotals();
    const int pending = team_ ? book_->ReportPending() : 0;
    if (pending > 0)
        Log(u"Концы %1 номеров ещё не на сервере команды: книга номеров хранит их, следующий запуск сообщит"_s.arg(
            pending));
    if (station_->JournalBroken())
        Log(u"Станция остановлена: служебный журнал не записывается"_s);
    if (!book_->LedgerError().isEmpty())
        Log(u"Станция остановлена: книга номеров не записывается ("_s + book_->LedgerError() + u')');
    Log(book_->Finished() ? u"План исчерпан"_s : u"Станция остановлена"_s);
    station_.reset();
    lock_.reset();  // another station may run on this folder now
    Stop->setEnabled(false);
    StopNowButton->setEnabled(false);
    NewBatch->setEnabled(true);
    if (closeWhenDone_)
        close();
}

void TStationWindow::Reprint()
{
    bool ok = false;
    const int serial = QInputDialog::getInt(this, u"Этикетка ещё раз"_s, u"Заводской номер прибора:"_s,
                                            lastDone_ > 0 ? lastDone_ : 1, 1, 65535, 1, &ok);
    if (!ok)
        return;
    const std::optional<TLabel> label = LabelOfNumber(serial);
    if (!label)
        ErrorAbort(
            u"В журнале нет проверенной записи, давшей прибору № %1: этикетка делается только для "
            u"пронумерованного прибора"_s.arg(serial),
            u"Ошибка"_s);
    TLabelTarget target;
    if (labeler_ && !labeler_->Target().IsPdf()) {
        target = labeler_->Target();
    } else {
        target.pdf = QFileDialog::getSaveFileName(this, u"Этикетка"_s, u"label-%1.pdf"_s.arg(serial), u"PDF (*.pdf)"_s);
        if (target.pdf.isEmpty())
            return;
        target.size = labeler_ ? labeler_->Target().size : TLabelSize{};
    }
    if (target.IsPdf())
        durable::ReplaceWhole(target.pdf, LabelsPdf({*label}, target.size));
    else
        PrintLabelsPdf(LabelsPdf({*label}, target.size), target.printer, target.size, u"zenda-label-%1"_s.arg(serial));
    Log(u"Этикетка № %1 ещё раз: %2"_s.arg(serial).arg(target.IsPdf() ? target.pdf : target.printer));
}

void TStationWindow::closeEvent(QCloseEvent* e)
{
    if (!running_) {
        e->accept();
        return;
    }
    e->ignore();
    if (!stop_) {
        // As the terminal's first Ctrl+C: each fixture ends its device, then the window closes.
        stop_ = true;
        closeWhenDone_ = true;
        Stop->setEnabled(false);
        Log(u"Окно закроется, когда приспособления закончат свои приборы"_s);
        statusBar()->showMessage(u"Окно закроется, когда приспособления закончат свои приборы"_s);
        return;
    }
    closeWhenDone_ = true;
    StopNowButton->click();
}
