// The station window's first page: a batch set up, shown, kept and opened by name.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "base/portlist.h"
#include "guard.h"
#include "label.h"
#include "team/teamsync.h"
#include "widgets.h"
#include "window.h"

using namespace Qt::StringLiterals;

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
    Plan->verticalHeader()->setVisible(false);
    for (int c = 0; c < 5; ++c)
        Plan->setColumnWidth(c, c == 2 || c == 3 ? 110 : 70);
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
    connect(V2, &QComboBox::currentIndexChanged, this, [this] { ShowPlan(); });
    // What is typed shows in the plan's table once the typing pauses.
    auto* typed = new QTimer(this);
    typed->setSingleShot(true);
    typed->setInterval(300);
    connect(typed, &QTimer::timeout, this, [this] { ShowPlan(); });
    for (QLineEdit* e : {PlanFile, Address, Ch1, Ch2})
        connect(e, &QLineEdit::textChanged, typed, qOverload<>(&QTimer::start));
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
            // What the device gets: the row's own values, else the batch's.
            const int v2 = r.v2Reset >= 0 ? r.v2Reset : b.v2Reset;
            const QStringList cells{QString::number(r.serial),
                                    r.address ? QString::number(*r.address) : b.address,
                                    r.ch1.isEmpty() ? b.ch1 : r.ch1,
                                    r.ch2.isEmpty() ? b.ch2 : r.ch2,
                                    v2 < 0 ? QString() : v2 ? u"да"_s : u"нет"_s,
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
