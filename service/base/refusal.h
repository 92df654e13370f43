// What the faces and the station's records share of zenda's words: its translation context
// and the refusal that ends a command before anything is written.
#pragma once

#include <QCoreApplication>
#include <QString>

#include <stdexcept>

// zenda's own texts: English in the source, Z::tr("...") everywhere a person reads them; the
// Russian comes from cli/i18n/zenda_ru.ts (lupdate collects the Z::tr calls of cli/ and service/).
struct Z {
    Q_DECLARE_TR_FUNCTIONS(zenda)
};

// A refusal before anything was written: a usage error or input the rules refuse.
struct ERefused : std::runtime_error {
    using std::runtime_error::runtime_error;
    explicit ERefused(const QString& text) : std::runtime_error(text.toStdString()) {}
    ERefused(const QString& shown, const QString& words) : std::runtime_error(shown.toStdString()), original(words) {}
    // The engine's own words when what is shown is their translation: the journal keeps these.
    QString original;
};

// The program was asked to stop (a signal, a closed window) before the action was done.
struct EStopped : std::runtime_error {
    explicit EStopped(int sig)
        : std::runtime_error(Z::tr("stopped (signal %1) before anything was written").arg(sig).toStdString()),
          signal(sig)
    {}
    int signal;
};
