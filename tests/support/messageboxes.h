#pragma once

#include <functional>
#include <memory>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace testsupport {

// What the answered boxes said; the last one's texts, and how many there were.
struct BoxSeen
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int count = 0;
};

// Modal boxes in tests are answered, never left hanging: from the event loop, while the
// returned record is held (only the next box with once), each modal message box is noted,
// handed to note, and answered with the given button.
template <typename Seen = BoxSeen>
std::shared_ptr<Seen> answerBoxes(QMessageBox::StandardButton button = QMessageBox::Ok,
                                  bool once = false,
                                  std::function<void(Seen &, QMessageBox *)> note = {})
{
    auto seen = std::make_shared<Seen>();
    auto *timer = new QTimer(qApp);
    timer->setInterval(10);
    std::weak_ptr<Seen> weak = seen;
    QObject::connect(timer, &QTimer::timeout, timer, [weak, timer, button, once, note] {
        auto result = weak.lock();
        if (!result) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        result->title = box->windowTitle();
        result->text = box->text();
        result->icon = box->icon();
        ++result->count;
        if (note)
            note(*result, box);
        if (once) {
            timer->stop();
            timer->deleteLater();
        }
        if (QAbstractButton *b = box->button(button))
            b->click();
    });
    timer->start();
    return seen;
}

} // namespace testsupport
