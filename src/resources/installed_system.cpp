#include "resources/installed_system.h"

#include "resources/control_text.h"

std::optional<Words> acceptedArchitectures(const std::string& scratch, std::string& why)
{
    std::string answers;
    for (const Words& query :
         {Words{"dpkg", "--print-architecture"}, Words{"dpkg", "--print-foreign-architectures"}}) {
        const ToolRun run = runTool(query, scratch);
        if (!run.exitedWith(0)) {
            why = toolFailure(query, run);
            return std::nullopt;
        }
        answers += run.output;
    }
    return lines(answers + "all");
}

std::optional<InstalledSystem> installedSystem(const std::string& scratch, std::string& why)
{
    // A record starts with "@"; the conffiles follow on lines that start with a blank.
    const Words query
        = {"dpkg-query", "-W", "-f",
           "@${binary:Package}\t${Package}\t${Architecture}\t${Version}\t${db:Status-Abbrev}\t"
           "${Essential}\t${Multi-Arch}\t${Provides}\t${Depends}, ${Pre-Depends}\t"
           "${Conflicts}\t${Breaks}\n${Conffiles}\n"};
    const ToolRun run = runTool(query, scratch);
    if (!run.exitedWith(0)) {
        why = toolFailure(query, run);
        return std::nullopt;
    }
    InstalledSystem system;
    for (const std::string& line : lines(run.output)) {
        if (line.starts_with('@')) {
            Words fields;
            for (std::size_t start = 1, end = 0; end != std::string::npos; start = end + 1) {
                end = line.find('\t', start);
                fields.push_back(line.substr(start, end == std::string::npos ? end : end - start));
            }
            if (fields.size() < 11)
                continue;
            system.push_back({fields[0],
                              fields[1],
                              fields[2],
                              fields[3],
                              fields[4],
                              fields[5] == "yes",
                              fields[6] == "same",
                              fields[7],
                              fields[8],
                              fields[9],
                              fields[10],
                              {}});
        } else if (line.starts_with(' ') && !system.empty()) {
            const Words parts = lines(std::string_view(line).substr(1), ' ');
            if (parts.size() >= 2 && parts.back() != "obsolete")
                system.back().conffiles.emplace_back(parts[0], parts[1]);
        }
    }
    return system;
}

std::string notFullyInstalled(const InstalledSystem& system)
{
    std::string names;
    for (const InstalledPackage& package : system) {
        const std::string& status = package.status;
        if (status.size() > 2
            && (std::string_view("incWt").find(status[1]) == std::string_view::npos
                || status[2] == 'R'))
            names.append(names.empty() ? "" : ", ").append(printable(package.shown));
    }
    return names;
}

const InstalledPackage* findInstalled(const InstalledSystem& system, std::string_view name)
{
    const std::size_t colon = name.find(':');
    const std::string_view bare = name.substr(0, colon);
    const std::string_view architecture
        = colon == std::string_view::npos ? std::string_view() : name.substr(colon + 1);
    const auto found
        = std::find_if(system.begin(), system.end(), [&](const InstalledPackage& package) {
              return package.name == bare && package.status.size() > 1
                  && std::string_view("iUFWtH").find(package.status[1]) != std::string_view::npos
                  && (architecture.empty() || architecture == package.architecture);
          });
    return found == system.end() ? nullptr : &*found;
}

std::string installedMd5(const std::string& path)
{
    gchar* contents = nullptr;
    gsize size = 0;
    if (!g_file_get_contents(path.c_str(), &contents, &size, nullptr))
        return {};
    gchar* sum
        = g_compute_checksum_for_data(G_CHECKSUM_MD5, reinterpret_cast<guchar*>(contents), size);
    std::string md5 = sum;
    g_free(sum);
    g_free(contents);
    return md5;
}
