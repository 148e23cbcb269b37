// The floor to compare against: a plain Qt Widgets program showing a small
// login form with text (two labels, two edits, two buttons), so that it pays
// the same font and text-layout cost as any real first window.
#include "FirstPaintExit.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Login"));
    window.resize(576, 524); // the login window's size
    auto* form = new QFormLayout;
    auto* login = new QLineEdit;
    login->setPlaceholderText(QStringLiteral("Login or Email"));
    auto* password = new QLineEdit;
    password->setEchoMode(QLineEdit::Password);
    form->addRow(new QLabel(QStringLiteral("Email")), login);
    form->addRow(new QLabel(QStringLiteral("Password")), password);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QPushButton(QStringLiteral("Log in")));
    buttons->addWidget(new QPushButton(QStringLiteral("Guest")));
    auto* column = new QVBoxLayout(&window);
    column->addLayout(form);
    column->addLayout(buttons);

    startup_bench::FirstPaintExit exitAtPaint(&window, sinceMain);
    window.show();
    return app.exec();
}
