// What the actions ask of the window: the error box, the wait cursor, the questions and the
// information boxes.
#pragma once

#include <functional>
#include <vector>

#include "actions/actions.h"

class TQtDeviceUi : public TActionFace {
public:
    [[noreturn]] void ErrorAbort(const std::string& Msg, const std::string& Caption) override;
    // The wait cursor, unless the action shows it already: no cursor work (a window-system
    // request for every window) between one exchange and the next.
    void BeginWait() override;
    void EndWait() override;

    bool Ask(const TQuestion& q) override;
    void Inform(const QString& text) override;
    [[noreturn]] void Refuse(const QString& text) override;
    QString PortText() const override { return portText(); }
    void ModelRead(uint8_t code) override { modelRead(code); }
    void OpenLine(TDeviceSession& session) override
    {
        if (!session.IsOpen() && openChosen)
            openChosen();
    }
    QString KnownModel(int serial) const override { return knownModel ? knownModel(serial) : QString(); }
    void ActionBegins() override;
    QString ShownError() const override;
    QString FailureText(const std::exception& e) const override;
    void JournalFailed(const QString& error) override;
    void Journaled() override;

    std::function<QString()> portText;
    std::function<void(uint8_t)> modelRead;
    std::function<QString(int)> knownModel;
    // Opens the chosen port when it is closed (the window was started before the adapter was
    // plugged in); a port that still cannot be opened stays closed, and the action says so.
    std::function<void()> openChosen;

private:
    std::vector<bool> pushed_;  // per nesting level: whether BeginWait set a cursor
    bool journalWarned_ = false;
};
