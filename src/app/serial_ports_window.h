#pragma once

#include <QWidget>

#include <string>

class QLabel;
class QPushButton;
class QSpinBox;
class QTreeWidget;

// "Serial Ports": the serial devices present, each with the COM number linked
// to it in the port folder, and the link of a chosen device to a chosen
// number in one step. A USB adapter linked by its stable name is found again
// after it comes back under another device name. On Windows the COM ports
// are listed and nothing is linked.
class TF_SerialPorts : public QWidget {
public:
    explicit TF_SerialPorts(QWidget* parent = nullptr);

    // Lists the devices afresh, keeping the chosen one chosen.
    void Refresh();
    // Links the chosen device to the number in UD_Port.
    void B_LinkClick();

    QLabel* Label1;
    QTreeWidget* LV_Devices;
    QLabel* Label2;
    QSpinBox* UD_Port;
    QPushButton* B_Link;
    QPushButton* B_Refresh;
    QPushButton* B_Close;

    // Where the devices are looked for; tests lay out one of their own.
    std::string dev_root = "/dev";

protected:
    void showEvent(QShowEvent* event) override;
};
