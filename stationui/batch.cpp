#include "batch.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>

#include "base/refusal.h"
#include "base/settingsstore.h"
#include "channels.h"
#include "image.h"
#include "records/durable.h"
#include "records/records.h"
#include "settings.h"

using namespace Qt::StringLiterals;

namespace {
QString Folder() { return DataFolder() + u"/batches"_s; }

// A name as a file's: letters, digits and a few marks; nothing that leaves the folder.
QString FileOf(const QString& name)
{
    static const QRegularExpression bad(u"[^\\p{L}\\p{N} ._-]"_s);
    QString base = QString(name).replace(bad, u"_"_s).trimmed();
    if (base.isEmpty() || base.startsWith(u'.'))
        throw ERefused(u"Имя партии не задано"_s);
    return Folder() + u'/' + base + u".json"_s;
}
}  // namespace

QJsonObject TBatch::Json() const
{
    return {{u"name"_s, name},
            {u"fromFile"_s, fromFile},
            {u"first"_s, first},
            {u"count"_s, count},
            {u"planFile"_s, planFile},
            {u"ports"_s, QJsonArray::fromStringList(ports)},
            {u"address"_s, address},
            {u"ch1"_s, ch1},
            {u"ch2"_s, ch2},
            {u"v2Reset"_s, v2Reset},
            {u"protocol"_s, protocol},
            {u"labels"_s, labels},
            {u"labelTarget"_s, labelTarget},
            {u"labelSize"_s, labelSize},
            {u"team"_s, team}};
}

TBatch TBatch::FromJson(const QJsonObject& o)
{
    TBatch b;
    b.name = o.value(u"name"_s).toString();
    b.fromFile = o.value(u"fromFile"_s).toBool();
    b.first = o.value(u"first"_s).toInt(1);
    b.count = o.value(u"count"_s).toInt(10);
    b.planFile = o.value(u"planFile"_s).toString();
    for (const QJsonValue& v : o.value(u"ports"_s).toArray())
        b.ports << v.toString();
    b.address = o.value(u"address"_s).toString();
    b.ch1 = o.value(u"ch1"_s).toString();
    b.ch2 = o.value(u"ch2"_s).toString();
    b.v2Reset = o.value(u"v2Reset"_s).toInt(-1);
    b.protocol = o.value(u"protocol"_s).toBool();
    b.labels = o.value(u"labels"_s).toBool();
    b.labelTarget = o.value(u"labelTarget"_s).toString();
    b.labelSize = o.value(u"labelSize"_s).toString(u"58x40"_s);
    b.team = o.value(u"team"_s).toBool();
    return b;
}

QStringList BatchNames()
{
    QStringList names;
    for (const QString& f : QDir(Folder()).entryList({u"*.json"_s}, QDir::Files, QDir::Name | QDir::IgnoreCase)) {
        QFile file(Folder() + u'/' + f);
        if (file.open(QIODevice::ReadOnly))
            if (const QString n = QJsonDocument::fromJson(file.read(1 << 20)).object().value(u"name"_s).toString();
                !n.isEmpty())
                names << n;
    }
    return names;
}

TBatch LoadBatch(const QString& name)
{
    QFile file(FileOf(name));
    if (!file.open(QIODevice::ReadOnly))
        throw ERefused(u"Партия \"%1\" не читается: %2"_s.arg(name, file.errorString()));
    const QJsonDocument doc = QJsonDocument::fromJson(file.read(1 << 20));
    if (!doc.isObject())
        throw ERefused(u"Партия \"%1\" повреждена"_s.arg(name));
    return TBatch::FromJson(doc.object());
}

void SaveBatch(const TBatch& batch)
{
    durable::MakeFolder(Folder());
    durable::ReplaceWhole(FileOf(batch.name), QJsonDocument(batch.Json()).toJson());
}

std::vector<TPlanRow> BatchRows(const TBatch& b)
{
    if (b.fromFile) {
        std::vector<TPlanRow> rows = ReadPlanFile(b.planFile);
        CheckPlan(rows, b.planFile);
        return rows;
    }
    if (b.first < 1 || b.first > range::SerialMax || b.count < 1 || b.first + b.count - 1 > range::SerialMax)
        throw ERefused(u"Номера партии: с %1, %2 шт. - за пределами 1..65535"_s.arg(b.first).arg(b.count));
    std::vector<TPlanRow> rows(static_cast<size_t>(b.count));
    for (int i = 0; i < b.count; ++i)
        rows[static_cast<size_t>(i)].serial = b.first + i;
    return rows;
}

TStationOptions BatchOptions(const TBatch& b)
{
    TStationOptions opt;
    if (!b.address.trimmed().isEmpty()) {
        bool ok = false;
        opt.defaults.address = b.address.trimmed().toInt(&ok);
        if (!ok)
            throw ERefused(u"Сетевой адрес прибора должен быть числом от 1 до 63"_s);
    }
    opt.defaults.ch1 = b.ch1.trimmed();
    opt.defaults.ch2 = b.ch2.trimmed();
    opt.defaults.v2Reset = b.v2Reset;
    TPlanRow check = opt.defaults;  // checked as a row would be
    check.serial = 1;
    CheckPlan({check});
    for (const QString& p : b.ports)
        if (!p.trimmed().isEmpty() && std::find(opt.ports.begin(), opt.ports.end(), p.trimmed()) == opt.ports.end())
            opt.ports.push_back(p.trimmed());
    if (opt.ports.empty())
        throw ERefused(u"Не выбрано ни одно приспособление"_s);
    if (opt.ports.size() > 16)
        throw ERefused(u"Приспособлений не больше 16"_s);
    opt.baud = StoredBaudRate() == 1 ? 9600 : 4800;
    return opt;
}

QStringList UnfitModels(const TPlanRow& row, const TPlanRow& defaults)
{
    QStringList out;
    for (int model = 0; model < 3; ++model) {
        TImageBuffer image;
        TChannelTable table{image};
        table.Recreate();
        table.AppendStartRows();
        if (model == 0)
            table.ApplyModel1();
        else
            table.ApplyModel23(model);
        std::vector<std::string> notes;
        try {
            for (int ch : {1, 2}) {
                const QString& spec = ch == 1 ? (row.ch1.isEmpty() ? defaults.ch1 : row.ch1)
                                              : (row.ch2.isEmpty() ? defaults.ch2 : row.ch2);
                if (!spec.isEmpty())
                    ApplyChannelSpec(table, ch - 1, spec, notes);
            }
        } catch (const std::exception&) {
            out << u"ZENDA"_s + QString::number(model + 1);
        }
    }
    return out;
}
