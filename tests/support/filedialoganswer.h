// Answers the next file dialog that opens (the program's dialogs are Qt's own, not the
// desktop's): types a name into it in the given folder and accepts.
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include <functional>
#include <memory>

inline void answerFileDialog(const QString &directory, const QString &text)
{
    auto attempt = std::make_shared<std::function<void()>>();
    *attempt = [=]() {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            QTimer::singleShot(20, *attempt);
            return;
        }
        dialog->setDirectory(directory);
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(text);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    };
    QTimer::singleShot(20, *attempt);
}
