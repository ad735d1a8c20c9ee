// One block of the day view: an appointment's time and description, its edit and delete
// images, and the sign for a missing script.
#pragma once

#include <QFrame>
#include <QString>
#include <cstdint>
#include <string>

class QLabel;
class TPageImage;

class TDayBlock : public QFrame {
    Q_OBJECT

  public:
    // `number` is 1 to 3; the children are named after it (LblTime1, ImgTerminKill1, ...).
    TDayBlock(QWidget* parent, int number, const QRect& geometry);

    void Fill(int64_t appointmentId, const std::string& time, const std::string& description,
              bool scriptMissing);
    void Clear();

    int64_t AppointmentId() const { return ShownId; }
    // The whole description, also where the label shows it cut.
    QString Description() const;

    TPageImage* EditImage() const { return ImgTerminEdit; }
    TPageImage* KillImage() const { return ImgTerminKill; }

  private:
    QLabel* LblTime = nullptr;
    QLabel* LblDisc = nullptr;
    TPageImage* ImgTerminEdit = nullptr;
    TPageImage* ImgTerminKill = nullptr;
    TPageImage* ImgScript = nullptr;
    int64_t ShownId = -1;
    QString FullDescription;
};
