#include "resources/tool_run.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>

ToolRun runTool(const Words& args, const std::string& scratch, bool network)
{
    std::vector<gchar*> argv(args.size() + 1);
    std::transform(args.begin(), args.end(), argv.begin(),
                   [](const std::string& arg) { return const_cast<gchar*>(arg.c_str()); });
    const char* path = std::getenv("PATH");
    const std::string pathVariable = std::string("PATH=") + (path ? path : "/usr/bin:/bin");
    const std::string tmpVariable = "TMPDIR=" + scratch;
    std::vector<gchar*> environment{const_cast<gchar*>("LC_ALL=C"),
                                    const_cast<gchar*>(pathVariable.c_str()),
                                    const_cast<gchar*>(tmpVariable.c_str())};
    Words proxies;
    for (const char* name : {"http_proxy", "https_proxy", "ftp_proxy", "no_proxy"})
        if (const char* value = network ? std::getenv(name) : nullptr)
            proxies.push_back(std::string(name) + "=" + value);
    std::transform(proxies.begin(), proxies.end(), std::back_inserter(environment),
                   [](const std::string& proxy) { return const_cast<gchar*>(proxy.c_str()); });
    environment.push_back(nullptr);
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint status = 0;
    ToolRun run;
    if (!g_spawn_sync(scratch.c_str(), argv.data(), environment.data(),
                      G_SPAWN_SEARCH_PATH_FROM_ENVP, nullptr, nullptr, &out, &err, &status,
                      nullptr))
        return run;
    run.output = std::string(out) + err;
    g_free(out);
    g_free(err);
    run.end = WIFEXITED(status) ? ToolRun::Exited : ToolRun::Killed;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status);
    return run;
}

std::string toolFailure(const Words& args, const ToolRun& run)
{
    const std::string& tool = args.front();
    switch (run.end) {
    case ToolRun::Exited:
        return tool + " exited with " + std::to_string(run.code);
    case ToolRun::NotStarted:
        return tool + " could not be started";
    case ToolRun::Killed:
        return tool + " was killed by signal " + std::to_string(run.code);
    }
    return tool;
}

void ScratchRemover::operator()(gchar* path) const
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
    g_free(path);
}

Scratch makeScratch(std::string& why)
{
    GError* error = nullptr;
    gchar* made = g_dir_make_tmp("installer-check-XXXXXX", &error);
    if (!made) {
        why = std::string("no temporary directory: ") + error->message;
        g_error_free(error);
        return {};
    }
    Scratch scratch(g_canonicalize_filename(made, nullptr));
    g_free(made);
    return scratch;
}
