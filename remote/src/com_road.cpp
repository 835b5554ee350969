#include "com_road.h"

#include "press_notices.h"

#include <QTimer>

namespace vantrel {

void ComRoad::press(ControllerSettings& record, std::int16_t command) {
    control_->comport(record.ComPort);
    const std::int16_t result = control_->Init();
    if (result != 0) {
        const QString why = QString::fromStdString(control_->last_error());
        qCWarning(lcTransmitter).noquote() << QStringLiteral("COM%1: the transmitter's port did not open (error %2): %3")
                                                  .arg(record.ComPort)
                                                  .arg(result)
                                                  .arg(why);
        notices_.failed(record.ComPort, result, why);
    } else {
        notices_.opened(record.ComPort);
    }
    control_->Exec(record.HouseCode, record.DeviceCode, command);
    if (result == 0) notices_.succeeded();
    closing_.start();
}

QString ComRoad::summary() const { return QStringLiteral("COM%1").arg(record_.ComPort); }

}  // namespace vantrel
