#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;

// "Options": the format of record files, raw or behind time stamps. A choice
// is stored at once and is in force at once, for the open record file and
// for every later connection.
class TF_Options : public QWidget {
public:
    explicit TF_Options(QWidget* parent = nullptr);

    // Each activation marks the stored choice; marking a button anew counts
    // as choosing it.
    void FormActivate();
    void RadioButton1Click();
    void RadioButton2Click();
    // "Reconnect when the instrument comes back", stored at once.
    void CB_ReconnectClick();
    void Button1Click();

    QWidget* Panel1;
    QLabel* Label1;
    QLabel* Label2;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QLabel* Label3;
    QCheckBox* CB_Reconnect;
    QPushButton* Button1;

protected:
    void changeEvent(QEvent* event) override;

private:
    void choose(bool include_time);
};
