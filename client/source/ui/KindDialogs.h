// The four dialogs a source settings page opens for one connection:
// "Socket Settings", "Serial Port Settings", "ZPHDB Settings" and "Data Feed
// Timeout". Each reads its kind section below the connection's section when
// it is made, and writes it back at once when it ends with OK, whatever
// happens afterwards to the sheet that opened it. Cancel writes nothing.
//
// OK refuses values the source could not use (see SourceKindValues.h): the
// dialog shows why in a message box and stays open, with nothing written.
// A store that refuses the write is reported the same way.
//
// The serial dialog's "Port:" offers "COM1" to "COM4" and takes a device
// path typed in; the line under it shows the device the name opens. Each
// selection change is taken into the dialog's values at once.
//
// Thread-safety: the window thread only.
#pragma once

#include "source/SourceKindValues.h"

#include <QDialog>

#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace mavo {

class CMessageService;

// What the four have in common: the connection's section path, the message
// boxes, and OK as check, write, close.
class CKindDialog : public QDialog {
    Q_OBJECT
public:
    // connectionPath: below HKEY_CURRENT_USER, such as
    // "Software/Halvern/MAVO/Controller/Backup".
    CKindDialog(std::string connectionPath, CMessageService& messages, QWidget* parent);

    void accept() override;

protected:
    // The reason the values shown cannot be stored, or nothing.
    virtual std::optional<std::string> Check() = 0;
    // Writes them; false when the store refused.
    virtual bool Store(const Brindle::CRegSection& connection) = 0;
    // Adds the OK and Cancel buttons under the dialog's own controls.
    void FinishLayout(QLayout* controls);
    const std::string& ConnectionPath() const { return m_path; }

private:
    std::string m_path;
    CMessageService& m_messages;
};

class CSocketSettingsDialog : public CKindDialog {
    Q_OBJECT
public:
    CSocketSettingsDialog(std::string connectionPath, CMessageService& messages, QWidget* parent = nullptr);

    QLineEdit* HostEdit() const { return m_host; }
    QLineEdit* PortEdit() const { return m_port; }
    QCheckBox* SecureBox() const { return m_secure; }

protected:
    std::optional<std::string> Check() override;
    bool Store(const Brindle::CRegSection& connection) override;

private:
    SocketValues Values() const;

    QLineEdit* m_host = nullptr;
    QLineEdit* m_port = nullptr;
    QCheckBox* m_secure = nullptr;
};

class CSerialSettingsDialog : public CKindDialog {
    Q_OBJECT
public:
    CSerialSettingsDialog(std::string connectionPath, CMessageService& messages, QWidget* parent = nullptr);

    // The values as the dialog holds them now.
    const SerialValues& Values() const { return m_values; }
    QComboBox* PortBox() const { return m_port; }
    QComboBox* BaudBox() const { return m_baud; }
    QComboBox* ParityBox() const { return m_parity; }
    QComboBox* StopBitsBox() const { return m_stopBits; }
    QComboBox* ByteSizeBox() const { return m_byteSize; }
    QCheckBox* ModemBox() const { return m_modem; }
    QLabel* DeviceLabel() const { return m_device; }

protected:
    std::optional<std::string> Check() override;
    bool Store(const Brindle::CRegSection& connection) override;

private:
    void ShowDevice();

    SerialValues m_values;
    QComboBox* m_port = nullptr;
    QComboBox* m_baud = nullptr;
    QComboBox* m_parity = nullptr;
    QComboBox* m_stopBits = nullptr;
    QComboBox* m_byteSize = nullptr;
    QCheckBox* m_modem = nullptr;
    QLabel* m_device = nullptr;
};

class CDatabaseSettingsDialog : public CKindDialog {
    Q_OBJECT
public:
    // machine: the key the password is encoded with; defaults: the
    // controller's host, port and user for a section that holds none.
    CDatabaseSettingsDialog(std::string connectionPath, std::string machine, const DatabaseDefaults& defaults,
                            CMessageService& messages, QWidget* parent = nullptr);

    QLineEdit* HostEdit() const { return m_host; }
    QLineEdit* UserEdit() const { return m_user; }
    QLineEdit* PortEdit() const { return m_port; }
    QLineEdit* PasswordEdit() const { return m_password; }
    QCheckBox* SecureBox() const { return m_secure; }

protected:
    std::optional<std::string> Check() override;
    bool Store(const Brindle::CRegSection& connection) override;

private:
    DatabaseValues Values() const;

    std::string m_machine;
    QLineEdit* m_host = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_secure = nullptr;
};

class CTimeoutDialog : public CKindDialog {
    Q_OBJECT
public:
    CTimeoutDialog(std::string connectionPath, CMessageService& messages, QWidget* parent = nullptr);

    QLineEdit* TimeoutEdit() const { return m_timeout; }

protected:
    std::optional<std::string> Check() override;
    bool Store(const Brindle::CRegSection& connection) override;

private:
    QLineEdit* m_timeout = nullptr;
};

} // namespace mavo
