#pragma once

#include "kavro_iolb.h"
#include "panelvariant.h"

#include <array>

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

namespace Ui {
class KAVROWidget;
}
class LedWidget;

// The page of one open card: identity, link state, frame number, the inputs and outputs of one
// group as lamps that follow the card, output switching by click, and the loop-output test,
// pulse generators and delayed output 0. The panel owns the open card: it was opened under
// comno before construction, and destruction closes it. What differs between the tester builds
// comes from the variant its creator hands it.
class KAVROWidget : public QWidget
{
    Q_OBJECT
public:
    KAVROWidget(int comno, const PanelVariant &variant, QWidget *parent = nullptr);
    ~KAVROWidget() override;

    int comno() const { return m_comno; }
    int cardType() const { return m_cardType; }
    int inputCount() const;
    int outputCount() const;

    void showPorts(int group);
    void showConnection(bool connected);
    void refreshTexts();

    // For tests: the lamps, and how many times the lamps were brought up to date from reports.
    LedWidget *inputLed(int i) const { return inputLeds[std::size_t(i)]; }
    LedWidget *outputLed(int i) const { return outputLeds[std::size_t(i)]; }
    int lampUpdates() const { return m_lampUpdates; }

signals:
    void Signal_IOChange(quint16 comno, quint16 group, quint32 inputstatus, quint32 outputstatus,
                         quint32 inputstatus_last, quint32 outputstatus_last, quint8 framenum);

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void on_comboBoxGroupNo_currentIndexChanged(int index);
    void on_checkBoxIO0Delay_clicked(bool checked);
    void on_pushButtonPulserStart_clicked();
    void on_pushButtonPulserStop_clicked();
    void on_pushButtonCycleOutput_clicked();
    void processIOUpdate();

private:
    void receiveReport(quint16 comno, quint16 group, quint32 inputstatus, quint32 outputstatus,
                       quint32 inputstatus_last, quint32 outputstatus_last, quint8 framenum);
    void outputClicked(int nID, bool bChecked);
    void loopStep();
    void showRunState();
    int shownGroup() const;
    QString settingsGroup() const;

    Ui::KAVROWidget *ui;
    const PanelVariant m_variant;
    std::array<LedWidget *, IOLB_CHANNELS_PER_GROUP> inputLeds{};
    std::array<LedWidget *, IOLB_CHANNELS_PER_GROUP> outputLeds{};
    int m_comno;
    int m_cardType = 0;
    QTimer *loopTimer = nullptr;
    int loopIndex = 0;
    int loopTotal = 0;
    int loopFailed = 0;
    QElapsedTimer loopClock;
    bool delayArmed = false;
    QTimer refreshTimer;
    bool refreshPending = false;

    // The last change report.
    quint32 m_inputstatus = 0;
    quint32 m_outputstatus = 0;
    quint8 m_framenum = 0;
    quint16 m_reportComno = 0;
    quint16 m_reportGroup = 0;
    quint32 m_inputstatusLast = 0;
    quint32 m_outputstatusLast = 0;

    int m_lampUpdates = 0;
};
