// px3tool evidence: a heat's evidence pack for the stewards, and the check of a pack's copy.
#include "px3tool_commands.h"
#include "results/evidence_pack.h"
#include "timing/lengths.h"

#include <iostream>

namespace px3tool {

int evidence(const Args& in) {
    Args args = in;
    const std::string check = take_option(args, "--check");
    const std::string manifest_sum = take_option(args, "--manifest-sha256");
    if (!manifest_sum.empty() &&
        (check.empty() || manifest_sum.size() != 64 ||
         manifest_sum.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)) {
        throw UsageError{"--manifest-sha256 takes the 64 hexadecimal digits evidence printed, with --check"};
    }
    if (!check.empty()) {
        if (args.size() > 1) {
            throw UsageError{"evidence --check takes DIR and, to check the recording too, its FILE"};
        }
        const veltro::EvidenceCheck result =
            veltro::check_evidence_pack(check, args.empty() ? "" : args[0], manifest_sum);
        for (const std::string& problem : result.problems) {
            std::cout << problem << '\n';
        }
        if (!result.problems.empty()) {
            std::cout << check << ": the pack does not match its manifest\n";
            return 1;
        }
        std::cout << check << ": " << result.files_checked << " files match the manifest"
                  << (args.empty() ? "" : ", and so does the recording")
                  << (manifest_sum.empty() ? "; the manifest itself is not checked without --manifest-sha256"
                                           : ", which is the one the pack was made with")
                  << '\n';
        return 0;
    }
    const std::string out = take_option(args, "-o");
    if (args.size() != 1 || out.empty()) {
        throw UsageError{"evidence takes FILE and -o DIR, or --check DIR [FILE]"};
    }
    const veltro::EvidencePack pack =
        veltro::write_evidence_pack(args[0], out, veltro::seconds_per_length_setting());
    for (const std::string& note : pack.notes) {
        std::cerr << "px3tool evidence: no finish picture for " << note << '\n';
    }
    for (const std::string& file : pack.files) {
        std::cout << out << '/' << file << '\n';
    }
    std::cout << "manifest sha256: " << pack.manifest_sha256 << '\n';
    return 0;
}

} // namespace px3tool
