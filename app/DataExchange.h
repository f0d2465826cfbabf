// Dialog data exchange: moves values between a dialog's controls and its
// members in one of two directions. Taking (controls to members) stops at the
// first malformed entry: the user is told what is expected, that control gets
// the focus, and members after it keep their values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class IUiServices;
class QAbstractButton;
class QComboBox;
class QLineEdit;
class QTextEdit;
class QWidget;

// A decimal number as typed: optional blanks around it, an optional sign,
// digits with an optional '.' and exponent. Anything else, or a value that
// is not finite, gives no value.
std::optional<double> ParseDialogDouble(std::string_view text);
// An unsigned decimal as typed (blanks around it allowed, no sign), which
// must fit 32 bits.
std::optional<std::uint32_t> ParseDialogUnsigned(std::string_view text);
// A double as shown in an edit: 15 significant digits.
std::string FormatDialogDouble(double value);

class DataExchange {
public:
    // take = true copies controls into members; false shows members.
    DataExchange(bool take, IUiServices& ui) : m_bTake(take), m_ui(ui) {}

    bool Taking() const { return m_bTake; }
    // False once an entry was refused; the remaining exchanges do nothing.
    bool Ok() const { return !m_bFailed; }

    void Double(QLineEdit* edit, double& value);
    void Unsigned(QLineEdit* edit, std::uint32_t& value);
    void Text(QLineEdit* edit, std::string& value);
    void Text(QTextEdit* edit, std::string& value);
    void Check(QAbstractButton* box, bool& value);
    void ListIndex(QComboBox* list, int& value);

private:
    void Refuse(QLineEdit* edit, const char* prompt);

    bool m_bTake;
    IUiServices& m_ui;
    bool m_bFailed = false;
};
