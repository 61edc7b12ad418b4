// Private-profile files: the format Windows programs keep their settings in,
// read and written here without the Windows calls. The whole file is read
// for each call; it is small and read rarely, and re-reading keeps every
// reader in step with what was last written.
#include "ui/profile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <strings.h>
#include <vector>

namespace {

char g_file[PROFILE_PATH_MAX + 1] = "korvex.ini";

std::string trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool sameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

std::vector<std::string> readLines()
{
    std::vector<std::string> lines;
    std::ifstream in(g_file);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// "[name]" lines open a section.
bool sectionName(const std::string& line, std::string* name)
{
    std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    *name = trim(t.substr(1, close - 1));
    return true;
}

bool keyLine(const std::string& line, std::string* key, std::string* value)
{
    std::string t = trim(line);
    if (t.empty() || t[0] == ';')
        return false;
    size_t eq = t.find('=');
    if (eq == std::string::npos)
        return false;
    *key = trim(t.substr(0, eq));
    *value = trim(t.substr(eq + 1));
    return true;
}

// Index of the key's line, with the section's range; -1 when absent.
struct Place {
    int sectionLine = -1;   // the "[section]" line
    int lastLine = -1;      // last line belonging to the section
    int keyLine = -1;
};

Place locate(const std::vector<std::string>& lines, const char* section, const char* key)
{
    Place p;
    bool inside = false;
    for (int i = 0; i < (int)lines.size(); ++i) {
        std::string name, k, v;
        if (sectionName(lines[i], &name)) {
            if (inside)
                break;
            inside = sameName(name, section);
            if (inside)
                p.sectionLine = p.lastLine = i;
            continue;
        }
        if (!inside)
            continue;
        if (!trim(lines[i]).empty())
            p.lastLine = i;
        if (key && keyLine(lines[i], &k, &v) && sameName(k, key) && p.keyLine < 0)
            p.keyLine = i;
    }
    return p;
}

} // namespace

void cfgSetFile(const char* path)
{
    snprintf(g_file, sizeof g_file, "%s", path ? path : "korvex.ini");
}

const char* cfgFile() { return g_file; }

int cfgGetString(const char* section, const char* key, const char* def, char* out, int size)
{
    if (!out || size <= 0)
        return 0;
    std::vector<std::string> lines = readLines();
    Place p = locate(lines, section, key);
    std::string value = def ? def : "";
    if (p.keyLine >= 0) {
        std::string k;
        keyLine(lines[p.keyLine], &k, &value);
        // A value in quotes loses them, as the Windows reader does.
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
    }
    int n = (int)std::min<size_t>(value.size(), (size_t)size - 1);
    memcpy(out, value.data(), (size_t)n);
    out[n] = 0;
    return n;
}

int32_t cfgGetInt(const char* section, const char* key, int32_t def)
{
    char buf[64];
    if (cfgGetString(section, key, "", buf, sizeof buf) == 0)
        return def;
    char* end = nullptr;
    long v = strtol(buf, &end, 10);
    return end == buf ? def : (int32_t)v;
}

int cfgSetString(const char* section, const char* key, const char* value)
{
    std::vector<std::string> lines = readLines();
    Place p = locate(lines, section, key);
    bool remove = !value || !*value;
    if (p.keyLine >= 0) {
        if (remove)
            lines.erase(lines.begin() + p.keyLine);
        else
            lines[p.keyLine] = std::string(key) + "=" + value;
    } else if (!remove) {
        std::string line = std::string(key) + "=" + value;
        if (p.sectionLine >= 0) {
            lines.insert(lines.begin() + p.lastLine + 1, line);
        } else {
            if (!lines.empty() && !trim(lines.back()).empty())
                lines.push_back("");
            lines.push_back(std::string("[") + section + "]");
            lines.push_back(line);
        }
    } else {
        return 0;   // nothing to delete
    }
    std::ofstream out(g_file, std::ios::trunc);
    if (!out)
        return -1;
    for (const std::string& l : lines)
        out << l << "\n";
    return out.good() ? 0 : -1;
}

int cfgGetWindowState(int windowSlot, CfgWindowState* out)
{
    *out = CfgWindowState{0, 0, 0, 0, 0, 24, 80, 0};
    char key[32], buf[128];
    snprintf(key, sizeof key, "DefWin%02dState", windowSlot);
    if (cfgGetString("Fonts", key, "", buf, sizeof buf) == 0)
        return 0;
    int v[8] = {0, 0, 0, 0, 0, 24, 80, 0};
    int n = sscanf(buf, "%d,%d,%d,%d,%d,%d,%d,%d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]);
    if (n < 5)
        return 0;
    out->left = v[0];
    out->top = v[1];
    out->right = v[2];
    out->bottom = v[3];
    out->fontSize = v[4];
    if (n >= 7 && v[5] >= 1 && v[5] <= 199 && v[6] >= 1 && v[6] <= 249) {
        out->rows = v[5];
        out->cols = v[6];
    }
    out->maximized = n >= 8 ? v[7] : 0;
    return 1;
}
