#include "journal.h"

#include <QDateTime>

#include "protocol.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QRegularExpression>
#include <QUrl>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <optional>

#include "formutil.h"
#include "msgs.h"
#include "teamlink.h"
#include "team/teamsync.h"

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
    const int widths[8] = {130, 140, 55, 60, 45, 220, 120, 90};
    for (int c = 0; c < 8; ++c)
        Table->setColumnWidth(c, widths[c]);
    // The time column holds the longest zone whole.
    Table->setColumnWidth(0, std::max(widths[0], Table->fontMetrics().horizontalAdvance(
                                                     QStringLiteral("00.00.0000 00:00:00 UTC+00:00")) + 12));
    Table->setColumnHidden(7, true);  // the PC: the department's view only
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

    // With a team's server: this PC's journal or every PC's.
    auto* sourceLabel = new QLabel(QStringLiteral("Жу&рнал:"), this);
    Source = new QComboBox(this);
    Source->setObjectName(QStringLiteral("Source"));
    Source->addItems({QStringLiteral("Этот ПК"), QStringLiteral("Весь отдел")});
    sourceLabel->setBuddy(Source);
    auto* top = new QHBoxLayout;
    top->addWidget(sourceLabel);
    top->addWidget(Source);
    top->addSpacing(12);
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

    connect(Source, &QComboBox::currentIndexChanged, this, [this, sourceLabel](int) {
        Table->setColumnHidden(7, !Department());
        if (Department())
            LoadDepartment();
        else
            Reload();
        (void)sourceLabel;
    });
    connect(Filter, &QLineEdit::textChanged, this, [this](const QString& s) {
        if (Department()) {  // a device's lines asked of the server, the newest otherwise
            LoadDepartment();
            return;
        }
        const TJournalLine* chosen = model_->Line(Table->currentIndex().row());
        const std::optional<TJournalLine> keep = chosen ? std::optional(*chosen) : std::nullopt;
        // Up to kShown lines of the serial numbers typed, from the whole journal.
        SetLines(TServiceRecords::ReadJournal(path_, nullptr, {kShown, s.trimmed(), true}), s);
        Choose(keep ? &*keep : nullptr);
    });
    Filter->installEventFilter(this);
    connect(Table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { ShowChosen(); });
    connect(Close, &QPushButton::clicked, this, &QDialog::accept);
    connect(Restore, &QPushButton::clicked, this, [this] { RestoreChosen(); });
    connect(Protocol, &QPushButton::clicked, this, [this] {
        const int row = Table->currentIndex().row();
        const TJournalLine* l = model_->Line(row);
        const TTeamInfo* t = model_->Team(row);
        if (t && !t->mine) {
            if (!t->protocol.isEmpty())
                OpenTeamProtocol(*t);
            return;
        }
        if (l && HasProtocol(*l) && OnProtocol)
            OnProtocol(*l);
    });
}

TJournalForm::~TJournalForm()
{
    for (QProcess* p : findChildren<QProcess*>(Qt::FindDirectChildrenOnly))  // answers nobody waits for now
        EndNow(p);
}

bool TJournalForm::Department() const { return Source->currentIndex() == 1; }

void TJournalForm::LoadDepartment()
{
    const QString zenda = ZendaProgram();
    if (team_) {  // the answer of an earlier question is not wanted any more
        Abandon(team_, this);
    }
    model_->Set({}, Filter->text(), {});
    ShowChosen();
    if (zenda.isEmpty()) {
        Limit->setText(QStringLiteral("Журнал отдела читает программа zenda, а она не установлена рядом"));
        return;
    }
    // A device's number typed: its lines, all of them; else the newest, as this PC's view shows.
    bool number = false;
    const int serial = Filter->text().trimmed().toInt(&number);
    if (!Filter->text().trimmed().isEmpty() && (!number || serial < 0 || serial > 65535)) {
        Limit->setText(QStringLiteral("Заводской номер прибора - число 0..65535"));
        return;
    }
    Limit->setText(QStringLiteral("Загрузка журнала отдела с сервера..."));
    team_ = new QProcess(this);
    QProcess* p = team_;
    p->setStandardInputFile(QProcess::nullDevice());
    // The lines are shown as they come (a line each), a batch at a time: the first screen does
    // not wait for the last line, and the window answers while the rest comes.
    auto shown = std::make_shared<int>(0);
    auto tail = std::make_shared<QByteArray>();  // the end: "],"ok":...}"
    auto take = [this, p, shown, tail] {
        std::vector<TJournalLine> lines;
        std::vector<TTeamInfo> team;
        while (p->canReadLine()) {
            QByteArray line = p->readLine().trimmed();
            if (line.startsWith(']'))
                *tail = line;
            if (line.startsWith(','))
                line.remove(0, 1);
            if (!line.startsWith('{') || line.startsWith("{\"journal\""))
                continue;
            const QJsonObject j = QJsonDocument::fromJson(line).object();
            TJournalLine l;
            l.time = j.value(u"time"_qs).toString();
            l.action = j.value(u"action"_qs).toString();
            l.port = j.value(u"port"_qs).toString();
            l.model = j.value(u"model"_qs).toString();
            l.serial = j.value(u"serial"_qs).toString();
            l.address = j.value(u"address"_qs).toString();
            l.outcome = j.value(u"outcome"_qs).toString();
            for (const QJsonValue& c : j.value(u"changes"_qs).toArray())
                l.changes << c.toString();
            l.backup = j.value(u"backup"_qs).toString();
            l.traffic = j.value(u"traffic"_qs).toString();
            l.written = j.value(u"written"_qs).toString();
            lines.push_back(l);
            team.push_back({j.value(u"pc"_qs).toString(), j.value(u"engineer"_qs).toString(),
                            j.value(u"backup_sha256"_qs).toString(), j.value(u"mine"_qs).toBool(),
                            j.value(u"protocol"_qs).toString()});
        }
        if (lines.empty())
            return;
        *shown += static_cast<int>(lines.size());
        const bool first = model_->rowCount() == 0;
        model_->Append(std::move(lines), std::move(team));
        if (first)
            Choose(nullptr);
        Limit->setText(QStringLiteral("Загрузка журнала отдела с сервера: строк %1...").arg(*shown));
    };
    connect(p, &QProcess::readyReadStandardOutput, this, [this, p, take] {
        if (p == team_)
            take();
    });
    connect(p, &QProcess::finished, this, [this, p, take, shown, tail](int status) {
        if (p != team_)
            return;
        take();
        team_ = nullptr;
        p->deleteLater();
        // The end: "ok" and, when the server cut it short, why.
        const QJsonObject o = QJsonDocument::fromJson("{" + tail->mid(tail->indexOf(',') + 1)).object();
        if (status != 0 || !o.value(u"ok"_qs).toBool()) {
            QString why = QString::fromUtf8(p->readAllStandardError()).trimmed();
            if (o.contains(u"error"_qs))
                why = o.value(u"error"_qs).toString();
            Limit->setText(QStringLiteral("Сервер команды: ") +
                           Visible(why.isEmpty() ? QStringLiteral("нет ответа") : why).left(200));
            return;
        }
        Limit->setText(Filter->text().trimmed().isEmpty() && *shown >= kShown
                           ? QStringLiteral("Журнал отдела: последние %1 строк; номер прибора ищет по всему журналу отдела")
                                 .arg(kShown)
                           : QStringLiteral("Журнал отдела: строк %1").arg(*shown));
    });
    QStringList args{QStringLiteral("--json"), QStringLiteral("journal"), QStringLiteral("--team")};
    if (Filter->text().trimmed().isEmpty())
        args << QStringLiteral("--limit") << QString::number(kShown);
    else
        args << QStringLiteral("--serial") << QString::number(serial);
    p->start(zenda, args);
}

void TJournalForm::RunZenda(const QStringList& args, const std::function<void(int, const QJsonObject&)>& done)
{
    auto* p = new QProcess(this);
    p->setStandardInputFile(QProcess::nullDevice());
    connect(p, &QProcess::finished, this, [p, done](int status) {
        p->deleteLater();
        // zenda --json answers on its standard output, a failure too ({"ok":false,"error":...}).
        const QList<QByteArray> lines = p->readAllStandardOutput().trimmed().split('\n');
        done(status, QJsonDocument::fromJson(lines.last()).object());
    });
    p->start(ZendaProgram(), QStringList{QStringLiteral("--json")} + args);
}

void TJournalForm::OpenTeamProtocol(const TTeamInfo& t)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_.-]{1,200}$"));
    if (!safe.match(t.pc).hasMatch() || !safe.match(t.protocol).hasMatch())
        return;  // a name from the server that is no file name here
    const QString file = DataFolder() + QStringLiteral("/protocols/team/") + t.pc + u'/' + t.protocol;
    auto open = [file] { QDesktopServices::openUrl(QUrl::fromLocalFile(file)); };
    FetchThen({QStringLiteral("team"), QStringLiteral("protocol"), t.pc, t.protocol, file}, Protocol,
              QStringLiteral("протокола"), QStringLiteral("протокол"), open);
}

void TJournalForm::FetchThen(const QStringList& args, QPushButton* button, const QString& ofWhat, const QString& what,
                             const std::function<void()>& then)
{
    const QString file = args.last();
    if (QFileInfo::exists(file)) {  // fetched before: what the server keeps is never changed
        then();
        return;
    }
    QDir().mkpath(QFileInfo(file).absolutePath());
    button->setEnabled(false);
    Limit->setText(QStringLiteral("Загрузка %1 с сервера...").arg(ofWhat));
    RunZenda(args, [this, what, then](int status, const QJsonObject& o) {
        Limit->clear();
        ShowChosen();
        if (status != 0) {
            ShowErrorMsg(QStringLiteral("Не удалось получить %1 с сервера: ").arg(what) +
                             Visible(o.value(u"error"_qs).toString(QStringLiteral("нет ответа"))).left(300),
                         QStringLiteral("Ошибка"));
            return;
        }
        then();
    });
}

void TJournalForm::RestoreChosen()
{
    const int row = Table->currentIndex().row();
    const TJournalLine* l = model_->Line(row);
    const TTeamInfo* t = model_->Team(row);
    if (!l || !OnRestore)
        return;
    bool wrote = false;
    const int undone = l->WrittenSerial().toInt(&wrote);
    const bool withCounters = WithCounters->isChecked();
    const QString local = DataFolder() + u'/' + l->backup;
    // A name from the server stays inside the data folder.
    const bool here = !l->backup.isEmpty() && !l->backup.contains(u".."_qs) && QFileInfo::exists(local);
    if (!t || (t->mine && here)) {
        if (l->backup.isEmpty())
            return;
        OnRestore(local, withCounters, wrote ? undone : -1);
        Department() ? LoadDepartment() : Reload();
        return;
    }
    // Another PC's backup: fetched from the server and checked against its SHA-256 by zenda,
    // kept under backups/team/, then restored as any backup. The window goes on answering.
    const QString sha = t->backupSha;
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    if (!hex.match(sha).hasMatch())
        return;  // a name from the server that is no file name here
    const QString file = DataFolder() + QStringLiteral("/backups/team/") + sha + QStringLiteral(".hex");
    auto restore = [this, file, withCounters, undone, wrote] {
        OnRestore(file, withCounters, wrote ? undone : -1);
        LoadDepartment();
    };
    FetchThen({QStringLiteral("team"), QStringLiteral("fetch"), sha, file}, Restore, QStringLiteral("резервной копии"),
              QStringLiteral("резервную копию"), restore);
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
    // The department's view where this user has a team's server; each opening starts with this PC's.
    const QSignalBlocker quiet(Source);
    Source->setCurrentIndex(0);
    Source->setEnabled(TeamConfigured() && !ZendaProgram().isEmpty());
    Table->setColumnHidden(7, true);
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
    if (Department())
        return;  // the department's lines are read again by LoadDepartment
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
    const TTeamInfo* t = model_->Team(Table->currentIndex().row());
    if (t)
        // Names from the server stay on their line: a line end in one cannot pass for a line of ours.
        text += u"ПК: "_qs + OnOneLine(t->pc) + u", пользователь "_qs + OnOneLine(t->engineer) +
                (t->mine ? u" (этот ПК)"_qs : QString()) + u'\n';
    // What came from the server or a file is shown with its control characters escaped.
    Details->setPlainText(Visible(text.left(20000)));
    QString why;
    const bool here = l && !l->backup.isEmpty() && !l->backup.contains(u".."_qs) && (!t || t->mine) &&
                      QFileInfo::exists(DataFolder() + u'/' + l->backup);
    if (!l || (l->backup.isEmpty() && !(t && !t->backupSha.isEmpty())))
        why = l ? QStringLiteral("У этой строки нет резервной копии") : QString();
    else if (!here && !(t && !t->backupSha.isEmpty()))
        why = QStringLiteral("Файл резервной копии не найден");
    Restore->setEnabled(l && why.isEmpty());
    // This PC makes protocols of its own writes (whether the device then left initialization
    // mode is in its journal); another PC's is the one that PC made, from the server.
    Protocol->setEnabled(l && (t && !t->mine ? !t->protocol.isEmpty() : HasProtocol(*l)));
    RestoreNote->setText(why);
    Restore->setToolTip(why);
}
