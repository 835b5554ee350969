#include "application.h"

#include <QApplication>

#include <csignal>

int main(int argc, char** argv) {
    // Past a file-size limit (ulimit -f) a write then fails with EFBIG and is
    // reported, instead of killing the program: even start-up writes files.
    std::signal(SIGXFSZ, SIG_IGN);
    if (const auto answered = vantrel::answerCommandLine(argc, argv)) return *answered;
    vantrel::useHomeOfPasswordEntry();
    const auto app = vantrel::openDisplay(argc, argv);
    return vantrel::runApplication();
}
