#pragma once

#include "engine.h"

#include <QMainWindow>

class QPlainTextEdit;

/// The help file that Help > Contents... names; set once at start.
extern QString helpFilePath;

/// Shows \a text titled \a title in a modal box with one OK button and no icon.
void showMessageBox(const QString &text, const QString &title);

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(ShowMessage showMessage, QWidget *parent = nullptr);

    /// The .cue path of the latest conversion attempt; empty before any.
    QString cuePath;

private:
    ShowMessage showMessage;
    QPlainTextEdit *cueText;
};
