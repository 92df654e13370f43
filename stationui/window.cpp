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
#include "widgets.h"
#include "version.h"

using namespace Qt::StringLiterals;

namespace {
const QString kTitle = u"Станция нумерации ЗЕНДА"_s;

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
        // Events update the totals; the devices an hour is brought up to date every 10 s besides.
        if (++ticks_ % 10 == 0)
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

void TStationWindow::Start()
{
    TBatch b = FromFields();
    const std::vector<TPlanRow> rows = BatchRows(b);
    planSize_ = static_cast<int>(rows.size());
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
        labeler_->MakeDue([this](const TLabel& l, const QString& done, const QString& error) {
            Log(error.isEmpty()
                    ? u"№ %1: этикетка, которую не успел сделать прошлый запуск: %2"_s.arg(l.serial).arg(done)
                    : u"№ %1: этикетка не сделана: %2"_s.arg(l.serial).arg(error));
        });
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
        MakeLabel(e);  // here, on the fixture's thread: the label follows the verification at once
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

void TStationWindow::MakeLabel(const TStationEvent& e)
{
    if (!labeler_)
        return;
    const auto at = std::chrono::steady_clock::now();
    QString said;
    try {
        const QString done = labeler_->Make({e.serial, ModelName(e.model), QDate::currentDate()});
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - at);
        said = u"этикетка: %1 (%2 мс)"_s.arg(done).arg(ms.count());
    } catch (const std::exception& x) {
        said = u"Этикетка не сделана: %1 (кнопка \"Этикетка ещё раз...\")"_s.arg(QString::fromUtf8(x.what()));
    }
    const TStationEvent n(TStationEvent::Note, e.fixture, e.serial, said);
    QMetaObject::invokeMethod(
        this, [this, n] { Event(n); }, Qt::QueuedConnection);
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
        // The protocol on the window's thread: its page layout (QTextDocument) wants Qt's threads.
        if (batch_.protocol) {
            try {
                Log(e.fixture + u" № "_s + QString::number(e.serial) + u": протокол: "_s +
                    SaveStationProtocol(e.serial, options_.program, ProtocolPdf));
            } catch (const std::exception& x) {
                Log(e.fixture + u" № "_s + QString::number(e.serial) + u": Не удалось сохранить протокол: "_s +
                    QString::fromUtf8(x.what()));
            }
        }
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
    const int all = planSize_;
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
