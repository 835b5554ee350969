#include "port_report.h"

#include <cstdio>

namespace kestrix::cli {
namespace {

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", c);
            out += code;
        } else out += static_cast<char>(c);
    }
    return out + "\"";
}

}  // namespace

void print_ports(std::ostream& out, const std::vector<ports::port>& list) {
    if (list.empty()) {
        out << "no serial ports found\n";
        return;
    }
    for (const ports::port& p : list) {
        std::string line = p.com ? "COM" + std::to_string(p.com) : "-";
        line.resize(std::max<std::size_t>(line.size(), 6), ' ');
        line += p.device;
        if (!p.driver.empty()) line += "  " + p.driver;
        if (!p.usb_id.empty()) {
            line += "  " + p.usb_id;
            if (!p.maker.empty()) line += " " + p.maker;
            if (!p.product.empty()) line += " " + p.product;
        }
        if (!p.by_id.empty()) line += "  " + p.by_id;
        if (p.no_hardware) line += "  no hardware";
        else {
            line += p.may_open ? "  you may open it" : "  no permission: " + p.access_hint;
            line += p.held ? ", in use by " + p.held_by : ", free";
        }
        if (!p.com) line += "  (no COM number: use --device " + (p.by_id.empty() ? p.device : p.by_id) + ")";
        out << line << "\n";
    }
}

void print_ports_json(std::ostream& out, const std::vector<ports::port>& list) {
    out << "[";
    for (std::size_t i = 0; i < list.size(); ++i) {
        const ports::port& p = list[i];
        out << (i ? ",\n " : "\n ") << "{\"com\": " << (p.com ? std::to_string(p.com) : "null")
            << ", \"device\": " << json_string(p.device) << ", \"driver\": " << json_string(p.driver)
            << ", \"usb_id\": " << json_string(p.usb_id) << ", \"product\": " << json_string(p.product)
            << ", \"maker\": " << json_string(p.maker) << ", \"by_id\": " << json_string(p.by_id)
            << ", \"no_hardware\": " << (p.no_hardware ? "true" : "false")
            << ", \"may_open\": " << (p.may_open ? "true" : "false")
            << ", \"access_hint\": " << json_string(p.access_hint) << ", \"held\": " << (p.held ? "true" : "false")
            << ", \"held_by\": " << json_string(p.held_by) << "}";
    }
    out << (list.empty() ? "]\n" : "\n]\n");
}

}  // namespace kestrix::cli
