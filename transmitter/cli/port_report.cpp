#include "port_report.h"

#include "shown_text.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace kestrix::cli {

using text::shown;

namespace {

// Characters, not bytes, for the columns' widths.
std::size_t width(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

}  // namespace

void print_ports(std::ostream& out, const std::vector<ports::port>& list) {
    if (list.empty()) {
        out << "no serial ports found\n";
        return;
    }
    // COM number, device, driver, adapter, stable name; then what is true of it.
    std::vector<std::vector<std::string>> rows;
    for (const ports::port& p : list) {
        std::string adapter = p.usb_id;
        for (const std::string& name : {p.maker, p.product})
            if (!name.empty()) adapter += " " + shown(name);
        std::vector<std::string> facts;
        if (p.console) facts.push_back("system console");
        if (p.no_hardware) {
            facts.push_back("no hardware");
        } else {
            facts.push_back(p.may_open ? "you may open it" : "no permission: " + p.access_hint);
            facts.push_back(p.held ? "in use by " + shown(p.held_by) : "free");
        }
        if (!p.com) facts.push_back("no COM number: use --device " + shown(p.by_id.empty() ? p.device : p.by_id));
        std::string said;
        for (const std::string& f : facts) said += (said.empty() ? "" : "; ") + f;
        rows.push_back({p.com ? "COM" + std::to_string(p.com) : "-", shown(p.device), p.driver, adapter, shown(p.by_id), said});
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], width(row[c]));
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (widths[c] == 0) continue;  // a column no port has
            line += row[c];
            if (c + 1 < row.size()) line.append(widths[c] - width(row[c]) + 2, ' ');
        }
        out << line << "\n";
    }
}

void print_ports_json(std::ostream& out, const std::vector<ports::port>& list) {
    nlohmann::json ports = nlohmann::json::array();
    for (const ports::port& p : list)
        ports.push_back({{"com", p.com ? nlohmann::json(p.com) : nlohmann::json(nullptr)},
                         {"device", p.device},
                         {"driver", p.driver},
                         {"usb_id", p.usb_id},
                         {"product", p.product},
                         {"maker", p.maker},
                         {"by_id", p.by_id},
                         {"no_hardware", p.no_hardware},
                         {"console", p.console},
                         {"may_open", p.may_open},
                         {"access_hint", p.access_hint},
                         {"held", p.held},
                         {"held_by", p.held_by}});
    // A USB name is whatever bytes the adapter reports: what is not UTF-8
    // becomes U+FFFD, so that the output is always valid JSON.
    out << ports.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace kestrix::cli
