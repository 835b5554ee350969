#include "port_report.h"

#include <nlohmann/json.hpp>

namespace kestrix::cli {

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
                         {"may_open", p.may_open},
                         {"access_hint", p.access_hint},
                         {"held", p.held},
                         {"held_by", p.held_by}});
    // A USB name is whatever bytes the adapter reports: what is not UTF-8
    // becomes U+FFFD, so that the output is always valid JSON.
    out << ports.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace kestrix::cli
