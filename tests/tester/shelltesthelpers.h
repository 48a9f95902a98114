#pragma once

#include <memory>

// A widget of a window by its object name.
template <typename T> T *child(QWidget *w, const char *name)
{
    return w->findChild<T *>(QString::fromLatin1(name));
}

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

// Modal boxes in tests are answered, never left hanging: this notes the next box's title and
// text and presses its OK (or the given) button.
struct BoxSeen
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int count = 0;
};

inline std::shared_ptr<BoxSeen> answerBoxes(QMessageBox::StandardButton button = QMessageBox::Ok)
{
    auto seen = std::make_shared<BoxSeen>();
    auto *timer = new QTimer(qApp);
    timer->setInterval(10);
    // The answering ends with the test that holds the result.
    std::weak_ptr<BoxSeen> weak = seen;
    QObject::connect(timer, &QTimer::timeout, timer, [weak, timer, button] {
        auto result = weak.lock();
        if (!result) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            result->title = box->windowTitle();
            result->text = box->text();
            result->icon = box->icon();
            ++result->count;
            if (QAbstractButton *b = box->button(button))
                b->click();
        }
    });
    timer->start();
    return seen;
}
