// zenda speaks one language at a time: Russian under a Russian locale, English otherwise. Its
// own texts are English in the source; the engine's (the device's, the line's, the records')
// are Russian as the window shows them, a few English. Both go through Qt's translator, with
// the translation compiled in, so a text never mixes the two.
#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>

#include <functional>

#include "zenda.h"

using namespace Qt::StringLiterals;

// The translations, compiled in by lrelease at build time (zenda_ru_qm.cpp, zenda_en_qm.cpp).
extern const unsigned char kZendaRu[], kZendaEn[];
extern const int kZendaRuSize, kZendaEnSize;

namespace {
bool russian = false;
QTranslator* translator = nullptr;
QTranslator* journalTranslator = nullptr;  // zenda's texts into the journal's Russian

const char* const kEngine = "engine";

// One direction of translation: a text (or a template of one) to its translation, null when
// there is none; and what to do with a quoted value inside a text.
struct TWay {
    std::function<QString(const QByteArray&)> find;
    QString (*inner)(const QString&);
};

QString Whole(const QString& text, const TWay& way);

// A piece of a text: as a whole, else with its numbers as %1, %2, ... ("сетевой адрес 70 вне
// 1..63" is one entry for every address). Null when the translation has none.
QString TranslatePiece(const QString& piece, const TWay& way)
{
    if (piece.trimmed().isEmpty())
        return piece;
    QString t = way.find(piece.toUtf8());
    if (!t.isNull())
        return t;
    // A sentence's closing period is not part of its entry ("... данных." as "... данных").
    if (piece.size() > 1 && piece.endsWith(u'.') && !piece.endsWith(u".."_s))
        if (const QString bare = TranslatePiece(piece.chopped(1), way); !bare.isNull())
            return bare + u'.';
    // A quoted text ("..." with one quoted phrase that may nest in it, the window's "Сухой
    // контакт"; '...' of zenda's English; «...» of its Russian), a number on its own with its sign
    // ("-45 сек вне -25..25"), a hex code ("$12C"), a COM port's or a model's number; then, where
    // that finds nothing, an option's name too ("--%1 is a number ..." of every counter).
    static const QString values =
        u"\"([^\"]*(?:\"[^\"]*\"[^\"]*)?)\"|(?<!\\p{L})'([^']*)'(?!\\p{L})|«([^»]*)»|\\$[0-9A-F]+|"
        u"(?<=COM|ZENDA)\\d+(?![\\p{L}\\d])|(?<![\\p{L}\\d%$])-?\\d+(?![\\p{L}\\d])"_s;
    static const QRegularExpression plain(values), withOptions(values + u"|(?<=--)[a-z][a-z0-9]*(?![a-z0-9-])"_s);
    QStringList args;
    for (const QRegularExpression* value : {&plain, &withOptions}) {
        args.clear();
        QString templ;
        qsizetype at = 0;
        for (auto it = value->globalMatch(piece); it.hasNext();) {
            const auto m = it.next();
            const QString mark = u'%' + QString::number(args.size() + 1);
            templ += piece.mid(at, m.capturedStart() - at);
            int quoted = 0;
            for (int g = 1; g <= 3 && !quoted; ++g)
                quoted = m.capturedStart(g) >= 0 ? g : 0;
            if (quoted) {
                const QString q = m.captured();
                templ += q.front() + mark + q.back();
                args << way.inner(m.captured(quoted));
            } else {
                templ += mark;
                args << m.captured();
            }
            at = m.capturedEnd();
        }
        if (args.isEmpty() || args.size() > 9)
            continue;
        templ += piece.mid(at);
        t = way.find(templ.toUtf8());
        if (!t.isNull())
            break;
    }
    if (t.isNull())
        return {};
    QString out;  // %1..%9 replaced once each, in the translation's order
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i] == u'%' && i + 1 < t.size() && t[i + 1].isDigit() && t[i + 1] != u'0' &&
            t[i + 1].digitValue() <= args.size()) {
            out += args[t[i + 1].digitValue() - 1];
            ++i;
        } else {
            out += t[i];
        }
    }
    return out;
}

// The whole, else each part between separators, sentences first (composed texts: "Драйвер COM-порта: Ошибка
// открытия СОМ-порта", a list of changes), the separators kept.
QString Whole(const QString& text, const TWay& way)
{
    if (const QString whole = TranslatePiece(text, way); !whole.isNull())
        return whole;
    for (const QString& sep : {u"\n"_s, u". "_s, u"; "_s, u": "_s, u" -> "_s, u", "_s}) {
        if (!text.contains(sep))
            continue;
        QStringList parts = text.split(sep);
        for (QString& p : parts)
            p = Whole(p, way);
        return parts.join(sep);
    }
    return text;
}

const TWay& ToUser()
{
    static const TWay way{[](const QByteArray& key) {
                              const QString t = QCoreApplication::translate(kEngine, key.constData());
                              return t == QString::fromUtf8(key) ? QString() : t;
                          },
                          [](const QString& t) { return Human(t); }};
    return way;
}

const TWay& ToJournal()
{
    static const TWay way{[](const QByteArray& key) {
                              const QString t = journalTranslator->translate("zenda", key.constData());
                              return t.isEmpty() ? QString() : t;
                          },
                          [](const QString& t) { return JournalText(t); }};
    return way;
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
    if (!russian && !journalTranslator) {  // not installed: asked only for the journal's words
        journalTranslator = new QTranslator;
        if (!journalTranslator->load(kZendaRu, kZendaRuSize)) {
            delete journalTranslator;
            journalTranslator = nullptr;
        }
    }
    return russian;
}

bool Russian() { return russian; }

QString Human(const QString& text) { return Whole(text, ToUser()); }

QString JournalText(const QString& text)
{
    if (russian || !journalTranslator)
        return text;
    return Whole(text, ToJournal());
}

QString JournalText(const std::exception& e)
{
    if (const auto* r = dynamic_cast<const ERefused*>(&e); r && !r->original.isEmpty())
        return r->original;
    return JournalText(QString::fromUtf8(e.what()));
}

std::string Human(const std::string& text) { return Human(QString::fromStdString(text)).toStdString(); }
