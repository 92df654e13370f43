#include "protocoldlg.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
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
        e->setMaxLength(200);
        form->addRow(label, e);
    };
    field(Organisation, "Organisation", QStringLiteral("&Организация:"));
    field(Engineer, "Engineer", QStringLiteral("&Инженер:"));
    field(Site, "Site", QStringLiteral("О&бъект:"));
    field(SiteAddress, "SiteAddress", QStringLiteral("&Адрес объекта:"));
    field(Customer, "Customer", QStringLiteral("&Заказчик:"));
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    ok->setObjectName(QStringLiteral("btn0"));  // named as the message boxes' buttons
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("btn1"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* all = new QVBoxLayout(this);
    all->addLayout(form);
    all->addWidget(buttons);
}

bool TProtocolForm::Ask(TProtocolParties& parties)
{
    const std::pair<QLineEdit*, QString*> fields[] = {{Organisation, &parties.organisation},
                                                      {Engineer, &parties.engineer},
                                                      {Site, &parties.site},
                                                      {SiteAddress, &parties.siteAddress},
                                                      {Customer, &parties.customer}};
    for (const auto& [edit, value] : fields)
        edit->setText(*value);
    Organisation->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    for (const auto& [edit, value] : fields)
        *value = edit->text().trimmed();
    parties.Save();
    return true;
}

bool TProtocolForm::Make(const TJournalLine& line, const QString& program)
{
    TProtocol p;
    p.parties = TProtocolParties::Load();
    if (!WrittenImage(line, p.image) || !Ask(p.parties))
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
