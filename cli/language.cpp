// zenda speaks one language at a time: Russian under a Russian locale, English otherwise. Its
// own texts are English in the source; the engine's (the device's, the line's, the records')
// are Russian as the window shows them, a few English. Both go through Qt's translator, with
// the translation compiled in, so a text never mixes the two.
#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>

#include "zenda.h"

using namespace Qt::StringLiterals;

// The translations, compiled in by lrelease at build time (zenda_ru_qm.cpp, zenda_en_qm.cpp).
extern const unsigned char kZendaRu[], kZendaEn[];
extern const int kZendaRuSize, kZendaEnSize;

namespace {
bool russian = false;
QTranslator* translator = nullptr;

const char* const kEngine = "engine";

// A piece of an engine's text: as a whole, else with its numbers as %1, %2, ... ("сетевой
// адрес 70 вне 1..63" is one entry for every address). Null when the translation has none.
QString TranslatePiece(const QString& piece)
{
    if (piece.trimmed().isEmpty())
        return piece;
    const QByteArray key = piece.toUtf8();
    QString t = QCoreApplication::translate(kEngine, key.constData());
    if (t != piece)
        return t;
    // A quoted text (one quoted phrase may nest in it: the window's "Сухой контакт"), a number
    // on its own, a hex code ("$12C"), a COM port's or a model's number.
    static const QRegularExpression value(
        u"\"([^\"]*(?:\"[^\"]*\"[^\"]*)?)\"|\\$[0-9A-F]+|(?<=COM|ZENDA)\\d+(?![\\p{L}\\d])|"
        u"(?<![\\p{L}\\d%$])\\d+(?![\\p{L}\\d])"_s);
    QStringList values;
    QString templ;
    qsizetype at = 0;
    for (auto it = value.globalMatch(piece); it.hasNext();) {
        const auto m = it.next();
        const QString mark = u'%' + QString::number(values.size() + 1);
        templ += piece.mid(at, m.capturedStart() - at);
        if (m.capturedStart(1) >= 0) {
            templ += u'"' + mark + u'"';
            values << Human(m.captured(1));
        } else {
            templ += mark;
            values << m.captured();
        }
        at = m.capturedEnd();
    }
    if (values.isEmpty() || values.size() > 9)
        return {};
    templ += piece.mid(at);
    const QByteArray templKey = templ.toUtf8();
    t = QCoreApplication::translate(kEngine, templKey.constData());
    if (t == templ)
        return {};
    QString out;  // %1..%9 replaced once each, in the translation's order
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i] == u'%' && i + 1 < t.size() && t[i + 1].isDigit() && t[i + 1] != u'0' &&
            t[i + 1].digitValue() <= values.size()) {
            out += values[t[i + 1].digitValue() - 1];
            ++i;
        } else {
            out += t[i];
        }
    }
    return out;
}
}  // namespace

bool LoadLanguage()
{
    const QStringList ui = QLocale::system().uiLanguages();
    russian = !ui.isEmpty() && (ui.first().startsWith(u"ru"_s));
    delete translator;
    translator = new QTranslator;
    const bool loaded = russian ? translator->load(kZendaRu, kZendaRuSize) : translator->load(kZendaEn, kZendaEnSize);
    if (loaded)
        QCoreApplication::installTranslator(translator);
    return russian;
}

bool Russian() { return russian; }

QString Human(const QString& text)
{
    if (const QString whole = TranslatePiece(text); !whole.isNull())
        return whole;
    // Composed texts ("Драйвер COM-порта: Ошибка открытия СОМ-порта", a list of changes):
    // each part on its own, the separators kept.
    for (const QString& sep : {u"\n"_s, u"; "_s, u": "_s, u" -> "_s, u". "_s, u", "_s}) {
        if (!text.contains(sep))
            continue;
        QStringList parts = text.split(sep);
        for (QString& p : parts)
            p = Human(p);
        return parts.join(sep);
    }
    return text;
}

std::string Human(const std::string& text) { return Human(QString::fromStdString(text)).toStdString(); }
