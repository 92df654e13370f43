// Whether another PC wrote the device just read, asked of zenda (the team's department journal).
// Apart from teamlink.cpp, which includes the Windows headers: the message boxes' names clash.
#include "otherwrite.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QWidget>

#include "journalmodel.h"
#include "msgs.h"
#include "records/records.h"
#include "team/teamnews.h"
#include "team/teamsync.h"
#include "teamlink.h"

void TOtherWriteCheck::Ask(int serial)
{
    text_.clear();
    serial_ = -1;
    if (ask_) {  // an earlier device's answer is not wanted any more
        Abandon(ask_, parent_);
        ask_ = nullptr;
    }
    const QString zenda = ZendaProgram();
    if (zenda.isEmpty() || !TeamConfigured())
        return;
    auto tell = [this, serial](const TOtherWrite& w) {
        serial_ = serial;
        const QDateTime at = QDateTime::fromString(w.time, Qt::ISODate);
        text_ = QStringLiteral(
                    "Прибор № %1 после последней записи с этого ПК записан на другом ПК: %2 "
                    "(пользователь %3), %4, %5.")
                    .arg(serial)
                    .arg(OnOneLine(w.pc.left(64)), OnOneLine(w.engineer.left(64)),
                         at.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")),
                         ActionText(w.action).toLower());
    };
    // What this PC heard at its last push, at once (and with no server at all); the server's
    // answer, when it comes, is newer.
    if (const std::optional<TOtherWrite> known = KnownOtherWrite(serial))
        tell(*known);
    auto* p = ask_ = new QProcess(parent_);
    p->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(p, &QProcess::finished, parent_, [this, p, serial, tell](int status) {
        if (p != ask_)
            return;
        ask_ = nullptr;
        p->deleteLater();
        if (status != 0)
            return;  // no server now: what this PC heard last stands
        text_.clear();
        serial_ = -1;
        const QJsonArray lines =
            QJsonDocument::fromJson(p->readAllStandardOutput()).object().value(QStringLiteral("journal")).toArray();
        // The done write that arrived last (the server's order, not the PCs' clocks), and this
        // PC's own that arrived before it.
        QJsonObject last;
        for (const QJsonValue& v : lines) {
            const QJsonObject o = v.toObject();
            if (IsDoneWrite(o.value(QStringLiteral("action")).toString(),
                            o.value(QStringLiteral("outcome")).toString()) &&
                o.value(QStringLiteral("seq")).toInteger() > last.value(QStringLiteral("seq")).toInteger())
                last = o;
        }
        if (last.isEmpty() || last.value(QStringLiteral("mine")).toBool())
            return;
        TOtherWrite w;
        w.pc = last.value(QStringLiteral("pc")).toString();
        w.engineer = last.value(QStringLiteral("engineer")).toString();
        w.time = last.value(QStringLiteral("time")).toString();
        w.action = last.value(QStringLiteral("action")).toString();
        w.ownBefore << QStringLiteral(
            "-");  // every own write on the server is listed: one not among them is not sent yet
        for (const QJsonValue& v : lines)
            if (v.toObject().value(QStringLiteral("mine")).toBool())
                w.ownBefore << v.toObject().value(QStringLiteral("id")).toString();
        if (NewerThanOwn(serial, w))
            tell(w);
    });
    p->start(zenda, {QStringLiteral("--json"), QStringLiteral("journal"), QStringLiteral("--team"),
                     QStringLiteral("--serial"), QString::number(serial)});
}

void TOtherWriteCheck::Tell(int serial)
{
    if (text_.isEmpty() || serial_ != serial)
        return;
    const QString text = text_;
    text_.clear();  // told once
    ShowInfoMsg(text, QStringLiteral("Информация"));
}
