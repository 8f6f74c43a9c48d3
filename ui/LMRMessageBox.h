#pragma once

#include <QDialog>
#include <QSize>

#include <memory>

namespace Ui
{
class LMRMessageBox;
}

// Modal message with one button, sized for the zoom factor of screen 0.
class LMRMessageBox : public QDialog
{
    Q_OBJECT
public:
    // kind 0: "OK" button, kind 1: "quit" button, other kinds keep "确定".
    LMRMessageBox(int kind, const QString &text, QWidget *parent = nullptr);
    ~LMRMessageBox() override;

    static QSize dialogSize(double zoom);
    QString text() const;
    QString buttonText() const;

    // Unattended runs (automation, kiosk tests) may set LUMIRA_DIALOG_AUTO_ACCEPT_MS:
    // every box then accepts itself after that many milliseconds.
    int exec() override;

private:
    std::unique_ptr<Ui::LMRMessageBox> ui;
};
