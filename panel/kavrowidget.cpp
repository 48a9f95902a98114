#include "kavrowidget.h"

#include "cardtype.h"
#include "errortext.h"
#include "kavro_iolb.h"
#include "kavrosettings.h"
#include "ledbutton.h"
#include "ledwidget.h"
#include "ui_kavrowidget.h"

#include <QEvent>
#include <QMessageBox>
#include <QSettings>

namespace {

// Runs on the board library's thread: hands the report to the panel's GUI thread and nothing
// more.
void boardCallback(void *context, unsigned short comno, unsigned short group,
                   unsigned int inputstatus, unsigned int outputstatus,
                   unsigned int inputstatus_last, unsigned int outputstatus_last,
                   unsigned char framenum)
{
    if (!context)
        return;
    emit static_cast<KAVROWidget *>(context)->Signal_IOChange(
        comno, group, inputstatus, outputstatus, inputstatus_last, outputstatus_last, framenum);
}

int decimalInt(const QString &text)
{
    return text.toInt(nullptr, 10);
}

uint decimalUInt(const QString &text)
{
    return text.toUInt(nullptr, 10);
}

} // namespace

KAVROWidget::KAVROWidget(int comno, const PanelVariant &variant, QWidget *parent)
    : QWidget(parent), ui(new Ui::KAVROWidget), m_variant(variant), m_comno(comno)
{
    ui->setupUi(this);
    ui->comboBoxGroupNo->setCurrentIndex(-1);

    {
        using namespace kavrosettings;
        QSettings settings(path(), QSettings::IniFormat);
        settings.beginGroup(settingsGroup());
        ui->lineEditPulserComno->setText(settings.value(PulserBit).toString());
        ui->checkBoxPulserPN->setChecked(settings.value(PulserPositive, false).toBool());
        ui->lineEditPulserCount->setText(settings.value(PulserCount).toString());
        ui->lineEditPulserPosTime->setText(settings.value(PulserTimePositive).toString());
        ui->lineEditPulserNegTime->setText(settings.value(PulserTimeNegative).toString());
        ui->lineEditPulserPreTime->setText(settings.value(PulserTimeFirst).toString());
        ui->lineEditSpanTime->setText(settings.value(LoopInterval).toString());
    }

    showConnection(false);
    ui->pushButtonCycleOutput->setText(tr("Start"));
    ui->pushButtonCycleOutput->setProperty("OnOff", 0);

    ui->labelJD->hide();
    ui->labelBS->hide();
    ui->comboBoxJD->hide();
    ui->comboBoxBS->hide();
    ui->comboBoxJD->addItems(
        {QStringLiteral("0.1s"), QStringLiteral("0.5s"), QStringLiteral("1.0s")});
    for (int i = 1; i <= 9; ++i)
        ui->comboBoxBS->addItem(QStringLiteral("x%1").arg(i));

    refreshTimer.setSingleShot(true);
    refreshTimer.setInterval(16);
    connect(&refreshTimer, &QTimer::timeout, this, &KAVROWidget::processIOUpdate);

    iolb_board_setcallback(quint16(m_comno), &boardCallback, this);
    connect(this, &KAVROWidget::Signal_IOChange, this, &KAVROWidget::receiveReport,
            Qt::QueuedConnection);

    unsigned char version = 0;
    unsigned char type = 0;
    if (iolb_board_getboardinfo(quint16(m_comno), &version, &type) == 0) {
        m_cardType = type;
        const CardTypeInfo info = cardTypeInfo(m_cardType);
        ui->lineEditCardType->setText(info.name ? QString::fromLatin1(info.name) : tr("Unknown"));
        ui->lineEditFirmwareVer->setText(QString::number(version));
    } else {
        ui->lineEditCardType->setText(tr("Unknown"));
        ui->lineEditFirmwareVer->setText(tr("Unknown"));
    }

    if (m_variant.pcie) {
        ui->label_Pusler_Note->hide();
        ui->groupBoxPulser->setTitle(tr("Pulse Generator (up to 32 units)"));
    } else if (version < 11) {
        ui->label_Pusler_Note->show();
        for (QWidget *w : std::initializer_list<QWidget *>{
                 ui->pushButtonPulserStart, ui->pushButtonPulserStop, ui->lineEditPulserComno,
                 ui->checkBoxPulserPN, ui->lineEditPulserCount, ui->lineEditPulserPosTime,
                 ui->lineEditPulserNegTime, ui->lineEditPulserPreTime})
            w->setEnabled(false);
    } else {
        ui->label_Pusler_Note->hide();
    }

    const bool manyGroups = inputCount() > IOLB_CHANNELS_PER_GROUP;
    ui->labelGroupNo->setEnabled(manyGroups);
    ui->comboBoxGroupNo->setEnabled(manyGroups);
    const int groups = (inputCount() + IOLB_CHANNELS_PER_GROUP - 1) / IOLB_CHANNELS_PER_GROUP;
    for (int g = 0; g < groups; ++g)
        ui->comboBoxGroupNo->addItem(QString::number(g));
    ui->comboBoxGroupNo->setCurrentIndex(0);

    for (int c = 0; c < 8; ++c) {
        for (int r = 0; r < 4; ++r) {
            const int i = r * 8 + c;
            auto *in = new LedWidget(false, i, this);
            ui->gridLayoutInput->addWidget(in, r, c);
            inputLeds[std::size_t(i)] = in;
            in->setVisible(i < inputCount());
            auto *out = new LedWidget(true, i, this);
            ui->gridLayoutOutput->addWidget(out, r, c);
            outputLeds[std::size_t(i)] = out;
            out->setVisible(i < outputCount());
            connect(out, &LedWidget::on_click, this, &KAVROWidget::outputClicked);
        }
    }

    auto *poll = new QTimer(this);
    poll->setInterval(1000);
    connect(poll, &QTimer::timeout, this,
            [this] { showConnection(iolb_board_isconnected(quint16(m_comno)) != 0); });
    poll->start();

    loopTimer = new QTimer(this);
    // A coarse timer may fire up to 5% early, and the average time must never read below the
    // interval.
    loopTimer->setTimerType(Qt::PreciseTimer);
    connect(loopTimer, &QTimer::timeout, this, &KAVROWidget::loopStep);

    showPorts(0);
    iolb_board_getcurframeno(quint16(m_comno), &m_framenum);
    ui->lineEditFrameNo->setText(QString::number(m_framenum));
    showRunState();
}

KAVROWidget::~KAVROWidget()
{
    // The callback goes first: once removed, the library calls it no more.
    iolb_board_setcallback(quint16(m_comno), nullptr, nullptr);
    iolb_board_close(quint16(m_comno));
    delete ui;
}

int KAVROWidget::inputCount() const
{
    return cardTypeInfo(m_cardType).inputs;
}

int KAVROWidget::outputCount() const
{
    return cardTypeInfo(m_cardType).outputs;
}

QString KAVROWidget::settingsGroup() const
{
    return kavrosettings::cardGroup(m_comno);
}

int KAVROWidget::shownGroup() const
{
    return decimalInt(ui->comboBoxGroupNo->currentText());
}

void KAVROWidget::showPorts(int group)
{
    if (!inputLeds[0])
        return; // the group selector fills before the lamps exist
    const quint32 in = iolb_read_inport(quint16(m_comno), group);
    const quint32 out = iolb_read_outport(quint16(m_comno), quint16(group));
    for (int i = 0; i < inputCount() && i < IOLB_CHANNELS_PER_GROUP; ++i)
        inputLeds[std::size_t(i)]->ledButton()->setChecked((in >> i) & 1u);
    for (int i = 0; i < outputCount() && i < IOLB_CHANNELS_PER_GROUP; ++i)
        outputLeds[std::size_t(i)]->ledButton()->setChecked((out >> i) & 1u);
}

void KAVROWidget::showConnection(bool connected)
{
    ui->labelIsConnectedTxt->setText(connected ? tr("Connected") : tr("Disconnected"));
    ui->labelIsConnected->setStyleSheet(
        QString::fromLatin1(connected ? LedButton::OnLook : LedButton::OffLook));
}

void KAVROWidget::showRunState()
{
    ui->pushButtonCycleOutput->setText(
        ui->pushButtonCycleOutput->property("OnOff").toInt() == 1 ? tr("Stop") : tr("Start"));
    showConnection(iolb_board_isconnected(quint16(m_comno)) != 0);
}

void KAVROWidget::refreshTexts()
{
    ui->retranslateUi(this);
    // The form's title is the network card's; the PCIe panel keeps its own.
    if (m_variant.pcie)
        ui->groupBoxPulser->setTitle(tr("Pulse Generator (up to 32 units)"));
    showRunState();
}

void KAVROWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        refreshTexts();
    QWidget::changeEvent(event);
}

void KAVROWidget::on_comboBoxGroupNo_currentIndexChanged(int index)
{
    if (isVisible())
        showPorts(index);
}

void KAVROWidget::receiveReport(quint16 comno, quint16 group, quint32 inputstatus,
                                quint32 outputstatus, quint32 inputstatus_last,
                                quint32 outputstatus_last, quint8 framenum)
{
    m_reportComno = comno;
    m_reportGroup = group;
    m_inputstatus = inputstatus;
    m_outputstatus = outputstatus;
    m_inputstatusLast = inputstatus_last;
    m_outputstatusLast = outputstatus_last;
    m_framenum = framenum;
    if (!refreshPending) {
        refreshPending = true;
        refreshTimer.start();
    }
}

void KAVROWidget::processIOUpdate()
{
    refreshPending = false;
    ui->lineEditFrameNo->setText(QString::number(m_framenum));
    // The lamps show the selected group only: another group's words would lie under its number.
    if (m_reportGroup != shownGroup())
        return;
    ++m_lampUpdates;
    for (int i = 0; i < inputCount() && i < IOLB_CHANNELS_PER_GROUP; ++i)
        inputLeds[std::size_t(i)]->ledButton()->setChecked((m_inputstatus >> i) & 1u);
    for (int i = 0; i < outputCount() && i < IOLB_CHANNELS_PER_GROUP; ++i)
        outputLeds[std::size_t(i)]->ledButton()->setChecked((m_outputstatus >> i) & 1u);
}

void KAVROWidget::outputClicked(int nID, bool bChecked)
{
    const int bit = shownGroup() * IOLB_CHANNELS_PER_GROUP + nID;
    if (bit != 0 || !ui->checkBoxIO0Delay->isChecked()) {
        iolb_write_outbit(quint16(m_comno), bit, bChecked ? 1 : 0);
        return;
    }
    // Delayed output 0.
    if (bChecked) {
        const int index = ui->comboBoxJD->currentIndex();
        const int timeBase = index == 1 ? 19 : index == 2 ? 20 : 18;
        iolb_write_delayOff(quint16(m_comno), timeBase, ui->comboBoxBS->currentIndex() + 1);
        delayArmed = true;
    } else {
        delayArmed = false;
        if (iolb_write_outbit(quint16(m_comno), 0, 0) == 0)
            outputLeds[0]->ledButton()->setChecked(false);
    }
}

void KAVROWidget::on_checkBoxIO0Delay_clicked(bool checked)
{
    ui->labelJD->setVisible(checked);
    ui->labelBS->setVisible(checked);
    ui->comboBoxJD->setVisible(checked);
    ui->comboBoxBS->setVisible(checked);
    if (!checked && delayArmed)
        iolb_write_outbit(quint16(m_comno), 0, 0);
}

void KAVROWidget::on_pushButtonCycleOutput_clicked()
{
    if (ui->pushButtonCycleOutput->property("OnOff").toInt() != 0) {
        ui->pushButtonCycleOutput->setText(tr("Start"));
        ui->pushButtonCycleOutput->setProperty("OnOff", 0);
        loopTimer->stop();
        return;
    }
    ui->pushButtonCycleOutput->setText(tr("Stop"));
    ui->pushButtonCycleOutput->setProperty("OnOff", 1);
    loopTotal = 0;
    loopFailed = 0;
    ui->lineEditFailCount->setText(QStringLiteral("0"));
    ui->lineEditTotalCount->setText(QStringLiteral("0"));
    ui->lineEditAvgUseTime->clear();
    loopIndex = 0;
    const int interval = decimalInt(ui->lineEditSpanTime->text());
    // The clock first: started after the timer, it would miss the start of the first wait.
    loopClock.start();
    loopTimer->start(interval);
    QSettings settings(kavrosettings::path(), QSettings::IniFormat);
    settings.beginGroup(settingsGroup());
    settings.setValue(kavrosettings::LoopInterval, interval);
}

void KAVROWidget::loopStep()
{
    const int level = iolb_read_outbit(quint16(m_comno), loopIndex);
    const int result = iolb_write_outbit(quint16(m_comno), loopIndex, level == 0 ? 1 : 0);
    if (result != 0) {
        ++loopFailed;
        ui->lineEditFailCount->setText(QString::number(loopFailed));
    }
    ++loopTotal;
    ui->lineEditTotalCount->setText(QString::number(loopTotal));
    if (++loopIndex >= outputCount())
        loopIndex = 0;
    ui->lineEditAvgUseTime->setText(QString::number(loopClock.elapsed() / loopTotal));
}

void KAVROWidget::on_pushButtonPulserStart_clicked()
{
    const int port = decimalInt(ui->lineEditPulserComno->text());
    unsigned char busy = 0;
    const int busyResult = iolb_board_pulser_isbusy(quint16(m_comno), quint16(port), &busy);
    if (busyResult != 0) {
        QMessageBox::critical(nullptr, tr("Operation failed"), errorText(busyResult));
        return;
    }
    if (busy != 0) {
        QMessageBox::critical(nullptr, tr("Error"),
                              tr("The pulse generator on the output port [%1] of the current "
                                 "card is busy. Please wait for it to finish before proceeding!")
                                  .arg(port));
        return;
    }
    const bool positive = ui->checkBoxPulserPN->isChecked();
    const quint16 count = quint16(decimalUInt(ui->lineEditPulserCount->text()));
    const quint16 posTime = quint16(decimalUInt(ui->lineEditPulserPosTime->text()));
    const quint16 negTime = quint16(decimalUInt(ui->lineEditPulserNegTime->text()));
    const quint16 preTime = quint16(decimalUInt(ui->lineEditPulserPreTime->text()));
    {
        using namespace kavrosettings;
        QSettings settings(path(), QSettings::IniFormat);
        settings.beginGroup(settingsGroup());
        settings.setValue(PulserBit, port);
        settings.setValue(PulserBoardNo, positive);
        settings.setValue(PulserPositive, positive);
        settings.setValue(PulserCount, count);
        settings.setValue(PulserTimePositive, posTime);
        settings.setValue(PulserTimeNegative, negTime);
        settings.setValue(PulserTimeFirst, preTime);
        settings.endGroup();
    }
    const int result = iolb_board_pulser_pulse(quint16(m_comno), quint16(port), positive ? 1 : 0,
                                               count, posTime, negTime, preTime);
    if (result != 0)
        QMessageBox::critical(nullptr, tr("Operation failed"), errorText(result));
}

void KAVROWidget::on_pushButtonPulserStop_clicked()
{
    const int port = decimalInt(ui->lineEditPulserComno->text());
    iolb_board_pulser_terminate(quint16(m_comno), quint16(port));
}
