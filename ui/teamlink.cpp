#include "teamlink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include "team/teamsync.h"

#ifdef _WIN32
#include <windows.h>
#endif

QString ZendaProgram()
{
#ifdef _WIN32
    const QString name = QStringLiteral("zenda.exe");
#else
    const QString name = QStringLiteral("zenda");
#endif
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {here.filePath(name), here.filePath(QStringLiteral("../cli/") + name)})
        if (QFileInfo(candidate).isExecutable())
            return QDir::cleanPath(candidate);
    return {};
}

void PushInBackground()
{
    const QString zenda = ZendaProgram();
    if (zenda.isEmpty() || !TeamConfigured())
        return;
    QProcess sync;
    sync.setProgram(zenda);
    sync.setArguments({QStringLiteral("sync")});
    sync.setStandardInputFile(QProcess::nullDevice());
    sync.setStandardOutputFile(QProcess::nullDevice());
    sync.setStandardErrorFile(QProcess::nullDevice());
#ifdef _WIN32
    // A console program started from the window: no console window flashing up.
    sync.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* a) { a->flags |= CREATE_NO_WINDOW; });
#endif
    sync.startDetached();
}

void Abandon(QProcess* p, QObject* receiver)
{
    p->disconnect(receiver);
    QObject::connect(p, &QProcess::finished, p, &QObject::deleteLater);
    p->kill();
}

void EndNow(QProcess* p)
{
    p->disconnect();
    p->kill();
    p->waitForFinished(1000);
}
