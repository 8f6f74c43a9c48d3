#pragma once

#include <QDialog>

#include <memory>

namespace Ui
{
class LoadingDialog;
}

// Start-up animation, centred on the first screen.
class LoadingDialog : public QDialog
{
    Q_OBJECT
public:
    explicit LoadingDialog(QWidget *parent = nullptr);
    ~LoadingDialog() override;

private:
    std::unique_ptr<Ui::LoadingDialog> ui;
};
