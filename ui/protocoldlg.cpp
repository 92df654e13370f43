#include "protocoldlg.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QUrl>

#include "formutil.h"
#include "guard.h"
#include "msgs.h"

TProtocolForm::TProtocolForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ProtocolForm"));
    setWindowTitle(QStringLiteral("Данные протокола"));
    SetDialogFrame(this);
    setFont(WindowFont());
    auto* form = new QFormLayout;
    auto field = [&](QLineEdit*& e, const char* name, const QString& label) {
        e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setMinimumWidth(320);
        e->setAccessibleName(QString(label).remove(u'&').remove(u':'));
        // No length cut here (a paste would lose its end unseen): OK says what is too long.
        form->addRow(label, e);
    };
    field(Organisation, "Organisation", QStringLiteral("&Организация:"));
    field(Engineer, "Engineer", QStringLiteral("&Инженер:"));
    field(EngineerPosition, "EngineerPosition", QStringLiteral("&Должность инженера:"));
    field(Site, "Site", QStringLiteral("О&бъект:"));
    field(SiteAddress, "SiteAddress", QStringLiteral("&Адрес объекта:"));
    field(Customer, "Customer", QStringLiteral("&Заказчик:"));
    field(Representative, "Representative", QStringLiteral("&Представитель заказчика:"));
    field(RepresentativePosition, "RepresentativePosition", QStringLiteral("Должность п&редставителя:"));
    // The meters on the channels: this device's, so offered empty each time; optional.
    auto* meters = new QGroupBox(QStringLiteral("Счетчики на каналах (необязательно)"), this);
    auto* grid = new QGridLayout(meters);
    grid->addWidget(new QLabel(QStringLiteral("Тип счетчика"), meters), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Заводской №"), meters), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Показания, м³"), meters), 0, 3);
    // Digits and separators may be typed; OK refuses a reading that is not one number.
    auto* reading = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.,]{0,20}")), this);
    for (int ch = 0; ch < 2; ++ch) {
        grid->addWidget(new QLabel(QStringLiteral("Канал %1:").arg(ch + 1), meters), ch + 1, 0);
        QLineEdit** row[] = {&MeterType[ch], &MeterNumber[ch], &MeterReading[ch]};
        const char* names[] = {"MeterType", "MeterNumber", "MeterReading"};
        for (int c = 0; c < 3; ++c) {
            auto* e = new QLineEdit(meters);
            e->setObjectName(QString::fromLatin1(names[c]) + QString::number(ch + 1));
            e->setMaxLength(c == 2 ? 20 : 60);
            e->setAccessibleName(QStringLiteral("Канал %1, ").arg(ch + 1) +
                                 qobject_cast<QLabel*>(grid->itemAtPosition(0, c + 1)->widget())->text());
            if (c == 2)
                e->setValidator(reading);
            grid->addWidget(e, ch + 1, c + 1);
            *row[c] = e;
        }
    }
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    ok->setObjectName(QStringLiteral("btn0"));  // named as the message boxes' buttons
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("btn1"));
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { RunGuarded([this] { CheckAndAccept(); }); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* all = new QVBoxLayout(this);
    all->addLayout(form);
    all->addWidget(meters);
    all->addWidget(buttons);
}

void TProtocolForm::CheckAndAccept()
{
    // The page must say what was typed: a field it cannot print as typed keeps the dialog open.
    auto refuse = [this](QLineEdit* e, const QString& why) {
        e->setFocus();
        ErrorAbort(e->accessibleName() + QStringLiteral(": ") + why, QStringLiteral("Ошибка"));
    };
    for (QLineEdit* e : findChildren<QLineEdit*>()) {
        if (const QString why = PartyProblem(e->text().trimmed()); !why.isEmpty())
            refuse(e, why);
    }
    for (QLineEdit* e : MeterReading) {
        const QString t = e->text().trimmed().remove(QRegularExpression(QStringLiteral("[.,]$")));
        if (!t.isEmpty() && ::MeterReading(t).isEmpty())
            refuse(e, QStringLiteral("\"%1\" не число: одна десятичная запятая (или точка), без разделителей "
                                     "тысяч, например 12345,6")
                          .arg(e->text()));
    }
    accept();
}

bool TProtocolForm::Ask(TProtocolParties& parties, TProtocolMeter (&meters)[2])
{
    const std::pair<QLineEdit*, QString*> fields[] = {{Organisation, &parties.organisation},
                                                      {Engineer, &parties.engineer},
                                                      {EngineerPosition, &parties.engineerPosition},
                                                      {Site, &parties.site},
                                                      {SiteAddress, &parties.siteAddress},
                                                      {Customer, &parties.customer},
                                                      {Representative, &parties.representative},
                                                      {RepresentativePosition, &parties.representativePosition}};
    for (const auto& [edit, value] : fields)
        edit->setText(*value);
    for (int ch = 0; ch < 2; ++ch)
        for (QLineEdit* e : {MeterType[ch], MeterNumber[ch], MeterReading[ch]})
            e->clear();
    Organisation->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    for (const auto& [edit, value] : fields)
        *value = edit->text().trimmed();
    for (int ch = 0; ch < 2; ++ch)  // a reading cut short ("12,") prints as far as it is typed
        meters[ch] = {MeterType[ch]->text().trimmed(), MeterNumber[ch]->text().trimmed(),
                      ::MeterReading(MeterReading[ch]->text().remove(QRegularExpression(QStringLiteral("[.,]$"))))};
    parties.Save();
    return true;
}

bool TProtocolForm::Make(const TJournalLine& line, const QString& program)
{
    TProtocol p;
    p.parties = TProtocolParties::Load();
    if (!WrittenImage(line, p.image) || !Ask(p.parties, p.meters))
        return false;
    p.line = line;
    p.leftInitMode = LeftInitModeAfter(line);
    p.program = program;
    QString path;
    try {
        TWaitCursor wait;
        TProtocolNumber number;
        p.number = number.number;
        p.made = QDateTime::currentDateTime();
        path = SaveProtocol(p, ProtocolPdf(p));
        number.Keep();
    } catch (const std::exception& e) {
        ErrorAbort(QStringLiteral("Не удалось сохранить протокол в ") + DataFolder() + QStringLiteral("/protocols (") +
                       QString::fromUtf8(e.what()) + u')',
                   QStringLiteral("Ошибка"));
    }
    // The engineer prints it from the viewer; where there is none, the box says where it is.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        ShowInfoMsg(QStringLiteral("Протокол сохранен: ") + path, QStringLiteral("Информация"));
    return true;
}
