#pragma once

#include "tester/simpleprogressdialog.h"
#include "support/messageboxes.h"

#include <memory>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

// A widget of a window by its object name.
template <typename T> T *child(QWidget *w, const char *name)
{
    return w->findChild<T *>(QString::fromLatin1(name));
}

// A box of the shell, and whether a search's progress dialog was still on screen when it
// opened.
struct BoxSeen : testsupport::BoxSeen
{
    bool progressVisible = false;
};

inline std::shared_ptr<BoxSeen> answerBoxes(QMessageBox::StandardButton button = QMessageBox::Ok)
{
    return testsupport::answerBoxes<BoxSeen>(button, false, [](BoxSeen &seen, QMessageBox *) {
        seen.progressVisible = false;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (dynamic_cast<SimpleProgressDialog *>(window) && window->isVisible())
                seen.progressVisible = true;
        }
    });
}
