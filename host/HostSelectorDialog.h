// The small list dialog with which the host's selector lets the user pick a variable or a script.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

class QListWidget;

class THostSelectorDialog : public QDialog {
    Q_OBJECT
  public:
    THostSelectorDialog(QWidget* parent, const QString& title,
                        const std::vector<std::string>& items);

    std::optional<std::string> Selected() const;

    // Shows the dialog modally; answers the chosen item, or nothing when cancelled.
    static std::optional<std::string> Choose(QWidget* parent, const QString& title,
                                             const std::vector<std::string>& items);

  private:
    QListWidget* List = nullptr;
};
