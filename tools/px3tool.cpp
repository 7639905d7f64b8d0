// px3tool: recordings from the command line, for operators and scripts.
#include "px3tool_commands.h"
#include "support/files.h"
#include "support/numbers.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/veltro_error.h"
#include "veltro_version.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace px3tool {

std::string take_option(Args& args, const std::string& option) {
    const auto it = std::find(args.begin(), args.end(), option);
    if (it == args.end()) {
        return {};
    }
    if (it + 1 == args.end()) {
        throw UsageError{option + " needs a value"};
    }
    std::string value = *(it + 1);
    args.erase(it, it + 2);
    return value;
}

bool take_flag(Args& args, const std::string& flag) {
    const auto it = std::find(args.begin(), args.end(), flag);
    if (it == args.end()) {
        return false;
    }
    args.erase(it);
    return true;
}

std::int32_t number_arg(const std::string& text, const std::string& what) {
    if (!veltro::is_decimal_number(text)) {
        throw UsageError{what + " '" + text + "' is not a whole number"};
    }
    try {
        return veltro::parse_long(text);
    } catch (const veltro::VeltroError&) {
        throw UsageError{what + " '" + text + "' is out of range"};
    }
}

namespace {

// A device or a pipe named as the output ("-o /dev/stdout") is written as it is: a rename would put
// a plain file in its place.
void write_to_device(const std::string& path, std::string_view data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    int rc = fd < 0 ? errno : 0;
    for (std::size_t done = 0; rc == 0 && done < data.size();) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno != EINTR)
            rc = errno;
        else if (n > 0)
            done += static_cast<std::size_t>(n);
    }
    if (fd >= 0 && ::close(fd) != 0 && rc == 0)
        rc = errno;
    if (rc != 0)
        throw veltro::VeltroError(veltro::error_number_for_errno(rc),
                                  "Could not write " + path + ": " + std::strerror(rc));
}

} // namespace

void write_output(const std::string& path, std::string_view data) {
    if (path.empty()) {
        std::cout << data;
        return;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        write_to_device(path, data);
        return;
    }
    const std::filesystem::path target = std::filesystem::absolute(path);
    veltro::remove_leftovers(target.parent_path().string(), target.filename().string() + ".tmp");
    veltro::save_file_atomically(path, data);
}

} // namespace px3tool

namespace {

// What was printed reached its reader: standard output on a full disk fails here, at the latest.
int close_standard_output(const std::string& command) {
    errno = 0;
    std::cout.flush();
    bool failed = std::cout.fail() || std::ferror(stdout) != 0;
    int why = errno;
    // A standard output closed by the caller is no failure when nothing was written to it.
    if (std::fclose(stdout) != 0 && !failed && errno != EBADF) {
        failed = true;
        why = errno;
    }
    if (!failed) {
        return 0;
    }
    std::cerr << "px3tool " << command << ": cannot write standard output"
              << (why != 0 ? std::string(": ") + std::strerror(why) : std::string()) << '\n';
    return 1;
}

void usage(std::ostream& out) {
    out << "usage: px3tool COMMAND [ARGS]\n"
           "\n"
           "Commands:\n"
           "  info FILE [--json] [-o OUT]  layout and heat values of a recording\n"
           "  verify FILE                  check the layout and every frame; exit status 0 only for a\n"
           "                               sound file with every record counted, one line per problem\n"
           "                               otherwise\n"
           "  history FILE [-o OUT]        the changes of the heat's results from its journal\n"
           "                               (FILE.journal), one line each: time of day, what changed\n"
           "  recover FILE                 append the frames of a capture the program did not finish\n"
           "                               (the spool FILE.spool), or without a spool count the whole\n"
           "                               records a killed pass left behind the counted frames; exit\n"
           "                               status 0 when they are stored\n"
           "  report FILE [-o OUT]         the frame timestamp report (default: a new file in the data\n"
           "                               folder)\n"
           "  export FILE (--frame N | --field N) -o OUT.png|OUT.jpg\n"
           "                               the picture as the review shows it\n"
           "  strip FILE -o OUT.png [--split] [--compensation MS] [--times]\n"
           "                               the finish strip: the goal line's pixels of every picture\n"
           "                               side by side over a time scale; the split line with --split;\n"
           "                               the goal compensation stored with the heat unless given;\n"
           "                               with --times a tick and label for every box's finish time\n"
           "  results FILE [--format text|csv|json] [--box-delay MS] [--lengths] [-o OUT]\n"
           "                               the ranked result as text (as copied to the clipboard), CSV\n"
           "                               or JSON; the box delay stored with the heat unless given;\n"
           "                               --lengths adds a tab and each dog's distance to the dog in\n"
           "                               front to the text form (CSV and JSON always carry it)\n"
           "  event-results FOLDER -o OUT [--no-pictures]\n"
           "                               every recording (*.px3) of the folder in heat order as one\n"
           "                               CSV (OUT.csv) and one self-contained web page (OUT.html)\n"
           "                               with each heat's finish pictures; a recording that cannot\n"
           "                               be read is listed as such (and named on stderr)\n"
           "  evidence FILE -o DIR         the heat's evidence pack in the new folder DIR: each box's\n"
           "                               finish picture with the goal line, box and time on it, the\n"
           "                               results (text, CSV), the history, the timestamp report and\n"
           "                               MANIFEST.sha256 with the SHA-256 of each file and of\n"
           "                               FILE; prints the SHA-256 of the manifest itself, to keep\n"
           "  evidence --check DIR [FILE] [--manifest-sha256 HEX]\n"
           "                               check a pack against its manifest (and FILE against the\n"
           "                               recording's sum, the manifest against the SHA-256 that\n"
           "                               evidence printed); exit status 0 only when all match\n"
           "  set-time FILE BOX MS [--split] [--dead-heat] [--no-time DSQ|DNF|NoRnk] [--frame N]\n"
           "                               assign a finish (or split) time to a box\n"
           "  set-dog FILE BOX NAME        set the dog name of a box\n"
           "  card CARD [--event EVENT.xml] [--apply]\n"
           "                               preview a race card (heat, box and dog name columns of a\n"
           "                               spreadsheet export) against the event file: one line\n"
           "                               heat;box;name;action (new, changed, cleared, unchanged) per\n"
           "                               dog and 'line N: reason' per rejected line; --apply writes\n"
           "                               the names into EVENT.xml (made when missing); exit status 0\n"
           "                               when every line was taken, 1 when some were rejected (then\n"
           "                               nothing is written), 2 when CARD cannot be read\n"
           "  demo OUT.px3 [--seconds S] [--format 1920*1080/R] [--crop 400*880|600*1080|576*720]\n"
           "       [--fast]                record a heat from the demo race camera (3 s, 25 interlaced,\n"
           "                               400*880 unless given; R is 25, 50, 100, 120 or 200) and\n"
           "                               print each dog's true crossing time; in real time, or on a\n"
           "                               manual clock with --fast\n"
           "  measure-delay --demo [--format 1920*1080/R] [--flashes N] [--crop C]\n"
           "       [--box X,Y,W,H]         measure the capture delay through the start kit's LED on the\n"
           "                               demo race camera (20 flashes, 25 interlaced, 400*880, the box\n"
           "                               around the demo's LED unless given), on a manual clock;\n"
           "                               prints 'capture delay X ms \u00b1 Y ms (N flashes)', or\n"
           "                               'no change found' with exit status 1\n"
           "  sources [--simulated]        the capture sources of this machine, one line each: its name,\n"
           "                               a colon and the formats it offers (1920*1080/50 ...);\n"
           "                               --simulated adds Aravis's simulated camera\n"
           "  capture SOURCE FILE --seconds N [--crop W*H] [--format F] [--exposure US] [--gain G]\n"
           "       [--simulated]           record N seconds of pictures from the source named as\n"
           "                               `sources` lists it into the new recording FILE, through the\n"
           "                               program's capture path (its first format and a 400*880\n"
           "                               window, or the whole picture when smaller, unless given)\n"
           "  bench                        the JPEG compression benchmark report, one line per picture\n"
           "                               size\n"
           "\n"
           "Output goes to standard output, or with -o OUT into the file OUT, replaced whole or not\n"
           "at all. A command that cannot write all of its output says so and exits with status 1.\n"
           "\n"
           "  --help                       this text\n"
           "  --version                    the program version\n";
}

} // namespace

namespace {

int run_command(int argc, char* argv[]) {
    if (argc < 2) {
        usage(std::cerr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        usage(std::cout);
        return 0;
    }
    if (command == "--version") {
        std::cout << "px3tool " << veltro::kVersionText << '\n';
        return 0;
    }
    const std::map<std::string, int (*)(const px3tool::Args&)> commands = {
        {"info", px3tool::info},
        {"verify", px3tool::verify},
        {"report", px3tool::report},
        {"export", px3tool::export_picture},
        {"results", px3tool::results},
        {"set-time", px3tool::set_time},
        {"set-dog", px3tool::set_dog},
        {"demo", px3tool::demo},
        {"bench", px3tool::bench},
        {"recover", px3tool::recover},
        {"history", px3tool::history},
        {"strip", px3tool::strip},
        {"event-results", px3tool::event_results},
        {"evidence", px3tool::evidence},
        {"card", px3tool::card},
        {"measure-delay", px3tool::measure_delay},
        {"sources", px3tool::sources},
        {"capture", px3tool::capture}};
    const auto it = commands.find(command);
    if (it == commands.end()) {
        std::cerr << "px3tool: unknown command '" << command << "'\n";
        usage(std::cerr);
        return 2;
    }
    veltro::fill_process_facts();
    try {
        return it->second(px3tool::Args(argv + 2, argv + argc));
    } catch (const px3tool::UsageError& e) {
        std::cerr << "px3tool " << command << ": " << e.message << "\n\n";
        usage(std::cerr);
        return 2;
    } catch (const veltro::VeltroError& e) {
        std::cerr << "px3tool " << command << ": " << e.description() << " (error " << e.number() << ")\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "px3tool " << command << ": " << e.what() << '\n';
        return 1;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // Written out in one piece at the end where it fits, so that a write that fails is seen by the
    // final flush with its reason.
    static char buffer[1 << 16];
    if (!::isatty(STDOUT_FILENO)) {
        std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    }
    const int status = run_command(argc, argv);
    const int output = close_standard_output(argc > 1 ? argv[1] : "");
    return status != 0 ? status : output;
}
