#pragma once
#include "common/Screen.h"
#include "ui_refferal.h"

class TFormRefferal : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormRefferal(QWidget* parent = nullptr);

    // Whether the platform offers a clipboard; tests stand in for one without.
    static inline bool ClipboardOffered = true;

public slots:
    void lab_ref_codeClick();
    void lab_ref_linkClick();
    void SearchBox1Change(const QString& text);

protected:
    void FormCreate();
    void FormShow() override;

private:
    void Copy(const QString& text);
    Ui::TFormRefferal ui;
};
