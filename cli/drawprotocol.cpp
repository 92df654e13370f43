// zenda's protocols are drawn by a program that carries Qt Gui, so that zenda itself stays on
// Qt Core (a fifth of the size on Windows): zenda-draw, in the command line's package (in
// ../libexec/zenda; in the build tree ../protocol), else the window's program beside zenda
// (zenda-init --draw-protocol IN OUT; on Windows the only one).
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#ifdef _WIN32
#include <windows.h>
#endif

#include <functional>

#include "label.h"
#include "protocol.h"
#include "zenda.h"

using namespace Qt::StringLiterals;

QStringList DrawingProgram()
{
    const QDir here(QCoreApplication::applicationDirPath());
#ifndef _WIN32
    for (const QString& candidate : {here.filePath(u"../libexec/zenda/zenda-draw"_s), here.filePath(u"../protocol/zenda-draw"_s)})
        if (QFileInfo(candidate).isExecutable())
            return {QDir::cleanPath(candidate)};
    const QString name = u"zenda-init"_s;
#else
    const QString name = u"zenda-init.exe"_s;
#endif
    for (const QString& candidate : {here.filePath(name), here.filePath(u"../app/"_s + name)})
        if (QFileInfo(candidate).isExecutable())
            return {QDir::cleanPath(candidate), u"--draw-protocol"_s};
    throw ERefused(Z::tr("the protocol is drawn by zenda-draw or zenda-init, and neither is installed beside zenda in %1")
                       .arg(QDir::toNativeSeparators(here.path())));
}

namespace {
// The drawing program's page of a description (a protocol's, or labels').
QByteArray DrawnPdf(const QByteArray& description, const std::function<void(const QString&)>& Failed)
{
    const QStringList program = DrawingProgram();
    QTemporaryDir dir;
    if (!dir.isValid())
        Failed(dir.errorString());
    const QString in = dir.filePath(u"protocol.json"_s), out = dir.filePath(u"protocol.pdf"_s);
    QFile json(in);
    if (!json.open(QIODevice::WriteOnly) || json.write(description) != description.size() || !json.flush())
        Failed(in + u": "_s + json.errorString());
    json.close();
    QProcess child;
    child.setStandardInputFile(QProcess::nullDevice());
#ifdef _WIN32
    // It shows no window: no busy cursor for it either.
    child.setCreateProcessArgumentsModifier(
        [](QProcess::CreateProcessArguments* a) { a->startupInfo->dwFlags |= STARTF_FORCEOFFFEEDBACK; });
#endif
    child.start(program.first(), program.mid(1) + QStringList{in, out});
    if (!child.waitForStarted(30000))
        Failed(child.errorString());
    if (!child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished(5000);
        Failed(Z::tr("no answer in two minutes"));
    }
    const QString said = QString::fromLocal8Bit(child.readAllStandardError()).trimmed();
    if (child.exitStatus() != QProcess::NormalExit)
        Failed(said.isEmpty() ? Z::tr("it stopped abnormally") : Human(said));
    if (child.exitCode() != 0)
        Failed(said.isEmpty() ? Z::tr("it ended with status %1").arg(child.exitCode()) : Human(said));
    QFile pdf(out);
    if (!pdf.open(QIODevice::ReadOnly))
        Failed(out + u": "_s + pdf.errorString());
    const QByteArray bytes = pdf.readAll();
    if (!bytes.startsWith("%PDF-"))
        Failed(Z::tr("what it wrote is not a PDF"));
    return bytes;
}
}  // namespace

QByteArray ProtocolPdf(const TProtocol& p)
{
    return DrawnPdf(ProtocolJson(p), [](const QString& why) {
        throw std::runtime_error(Z::tr("the protocol could not be drawn: %1").arg(why).toStdString());
    });
}

QByteArray LabelsPdfDrawn(const std::vector<TLabel>& labels, const TLabelSize& size)
{
    return DrawnPdf(LabelsJson(labels, size), [](const QString& why) {
        throw std::runtime_error(Z::tr("the label could not be drawn: %1").arg(why).toStdString());
    });
}
