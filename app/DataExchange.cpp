#include "app/DataExchange.h"

#include "base/Format.h"
#include "ui/UiServices.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QTextEdit>

#include <cctype>
#include <charconv>
#include <cmath>

namespace {
std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}
} // namespace

std::optional<double> ParseDialogDouble(std::string_view text) {
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars would also take "inf", "nan" and hexadecimal digits.
    if (text.empty() ||
        !(std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '.')) {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::optional<std::uint32_t> ParseDialogUnsigned(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front()))) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string FormatDialogDouble(double value) {
    return StrFormat("%.15g", value);
}

void DataExchange::Refuse(QLineEdit* edit, const char* prompt) {
    m_bFailed = true;
    m_ui.ShowMessage(prompt);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

void DataExchange::Double(QLineEdit* edit, double& value) {
    if (m_bFailed) {
        return;
    }
    if (!m_bTake) {
        edit->setText(QString::fromStdString(FormatDialogDouble(value)));
        edit->setCursorPosition(0); // a long number shows its first digits
        return;
    }
    if (const auto parsed = ParseDialogDouble(edit->text().toStdString())) {
        value = *parsed;
    } else {
        Refuse(edit, "Enter a number.");
    }
}

void DataExchange::Unsigned(QLineEdit* edit, std::uint32_t& value) {
    if (m_bFailed) {
        return;
    }
    if (!m_bTake) {
        edit->setText(QString::number(value));
        return;
    }
    if (const auto parsed = ParseDialogUnsigned(edit->text().toStdString())) {
        value = *parsed;
    } else {
        Refuse(edit, "Enter a positive integer.");
    }
}

void DataExchange::Text(QLineEdit* edit, std::string& value) {
    if (m_bFailed) {
        return;
    }
    if (m_bTake) {
        value = edit->text().toStdString();
    } else {
        edit->setText(QString::fromStdString(value));
    }
}

void DataExchange::Text(QTextEdit* edit, std::string& value) {
    if (m_bFailed) {
        return;
    }
    if (m_bTake) {
        value = edit->toPlainText().toStdString();
    } else {
        edit->setPlainText(QString::fromStdString(value));
    }
}

void DataExchange::Check(QAbstractButton* box, bool& value) {
    if (m_bFailed) {
        return;
    }
    if (m_bTake) {
        value = box->isChecked();
    } else {
        box->setChecked(value);
    }
}

void DataExchange::ListIndex(QComboBox* list, int& value) {
    if (m_bFailed) {
        return;
    }
    if (m_bTake) {
        value = list->currentIndex();
    } else {
        list->setCurrentIndex(value);
    }
}
