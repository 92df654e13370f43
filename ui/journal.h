// "Журнал": the service journal as a table, newest first, with a filter by serial number,
// the chosen line's changes in full, the restore of its backup and its protocol.
#pragma once

#include <QDialog>

#include <functional>
#include <vector>

#include "records/records.h"

class QCheckBox;
class QJsonObject;
class QComboBox;
class QProcess;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;

#include "journalmodel.h"

class TJournalForm : public QDialog {
    Q_OBJECT
public:
    explicit TJournalForm(QWidget* parent = nullptr);
    ~TJournalForm() override;
    // Reads the journal afresh for an opening of the dialog: the newest line chosen, the
    // counters left out, the focus on the table (Enter closes, it never restores).
    void Load(const QString& path = TServiceRecords::JournalPath());

    // Called with the chosen backup (its full path) and the check box's state.
    // undone: the number the line's write gave the device, -1 when it gave none.
    std::function<void(const QString& file, bool withCounters, int undone)> OnRestore;
    // Called with the chosen line, a completed write ("Протокол").
    std::function<void(const TJournalLine& line)> OnProtocol;
    static constexpr int kShown = 5000;  // the newest lines a view shows

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void ShowChosen();
    void SetLines(std::vector<TJournalLine> lines, const QString& serial);
    // Reads the journal again after an action, the chosen line kept chosen.
    void Reload();
    // The department's view: every PC's lines from the team's server, through zenda.
    bool Department() const;
    void LoadDepartment();
    // A department line's backup: this PC's file, or the server's copy fetched first.
    void RestoreChosen();
    // Another PC's protocol of the chosen line: fetched from the server, opened in the viewer.
    void OpenTeamProtocol(const TTeamInfo& t);
    // zenda with these arguments, off the event loop; then done(status, its JSON answer or error).
    void RunZenda(const QStringList& args, const std::function<void(int, const QJsonObject&)>& done);
    // The file that zenda's args fetch from the team's server into their last argument, then
    // then(); button waits meanwhile, a failure is said ("Не удалось получить <what> ...").
    void FetchThen(const QStringList& args, QPushButton* button, const QString& ofWhat, const QString& what,
                   const std::function<void()>& then);
    QComboBox* Source;  // this PC's journal or the department's
    QProcess* team_ = nullptr;
    // Chooses the row of this line when it is shown, else the newest.
    void Choose(const TJournalLine* line);
    QString path_;
    TJournalModel* model_;
    QLineEdit* Filter;
    QTableView* Table;
    QPlainTextEdit* Details;
    QCheckBox* WithCounters;
    QLabel* RestoreNote;  // why "Восстановить" is greyed
    QLabel* Limit;        // says when not every line is shown
    QPushButton* Restore;
    QPushButton* Protocol;
    QPushButton* Close;
};
