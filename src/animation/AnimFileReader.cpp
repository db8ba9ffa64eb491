#include "animation/AnimFileReader.h"

#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

const float TICKS_TO_MS = 0.20833333f;
const float TICKS_TO_SECONDS = 0.00020833334f;

// One key as it stands on a line: the text before its '[' (a linear key's time) and its brackets.
struct KeyText {
    const char* time;
    const char* open;
    const char* close;
};

// Keys are read one after another, each followed by exactly one separator character.
bool nextKey(const char*& p, KeyText& key)
{
    const char* open = strchr(p, '[');
    if (!open) return false;
    const char* close = strchr(open, ']');
    if (!close) return false;
    key = KeyText{p, open, close};
    p = close[1] ? close + 2 : close + 1;
    return true;
}

// The number of [ ... ] groups on the line.
int32_t countKeys(const char* p)
{
    int32_t n = 0;
    while ((p = strchr(p, '[')) && (p = strchr(p, ']'))) {
        ++n;
        ++p;
    }
    return n;
}

// Comma-separated floats read as "%f,%f,..." would read them: values that do not read keep what
// the caller preset, and so does every value after the first mismatch.
void readFloats(const char* p, float* out, int count)
{
    for (int i = 0; i < count; ++i) {
        char* end;
        const float v = strtof(p, &end);
        if (end == p) return;
        out[i] = v;
        if (*end != ',') return;
        p = end + 1;
    }
}

Vector3 vectorFrom(const char* text, const Vector3& preset)
{
    float v[3] = {preset.x, preset.y, preset.z};
    readFloats(text, v, 3);
    return Vector3(v[0], v[1], v[2]);
}

// Rotations are written w, x, y, z, and w is stored negated (the exporter's handedness).
Quaternion rotationFrom(const char* text)
{
    float v[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    readFloats(text, v, 4);
    return Quaternion(v[1], v[2], v[3], -v[0]);
}

// A linear key's time in ms. The key is read as "time,values": when the time does not read, or
// does not run up to the bracket, the values stay unread (false).
bool keyTime(const KeyText& key, float* ms)
{
    char* end;
    const float ticks = strtof(key.time, &end);
    if (end == key.time) return false;
    *ms = ticks * TICKS_TO_MS;
    return end == key.open;
}

// Sizes a channel by its first key line and fills it; a later line for the same channel adds
// nothing and must have as many keys.
template <class Key, class Make>
void fillChannel(TAnimKeyTable<Key>& table, const char* countCheck, const char* line, int32_t frms,
                 const Key& preset, Make make)
{
    if (table.IsAllocated()) {
        if (frms != table.GetTotalElements()) assertFailed(countCheck, __FILE__, __LINE__);
        return;
    }
    table.Allocate(frms, preset);
    const char* p = line;
    KeyText key;
    while (Key* slot = table.NextSlot()) {
        if (!nextKey(p, key)) break;
        *slot = make(key);
    }
}

// The text between two quote characters, cut to a node name's length.
void copyQuoted(char (&name)[CAnimNode::MAX_NAME], const char* open, const char* close)
{
    size_t length = static_cast<size_t>(close - open - 1);
    if (length > CAnimNode::MAX_NAME - 1) length = CAnimNode::MAX_NAME - 1;
    memcpy(name, open + 1, length);
    name[length] = '\0';
}

struct Track {
    int channel;
    int32_t kind;
};

// A file that does not load is one report, naming it: the first fault the reader finds.
class CAnimFileReader {
public:
    CAnimFileReader(CAnimData* animData, const char* fileName)
        : data(animData), m_name(fileName), m_line(new char[LINE_SIZE])
    {
    }

    int32_t Load()
    {
        int32_t code = Open();
        if (code == ANIM_OK) code = ReadHierarchy();
        if (code == ANIM_OK) code = ReadRateModifier();
        if (code == ANIM_OK) code = ReadParts();
        return code;
    }

private:
    static const uint32_t FIRST_LINE_SIZE = 256;
    static const uint32_t LINE_SIZE = 16384;
    enum { LINE_OK, LINE_END, LINE_TOO_LONG };

    // Reports the fault, unless one was reported already; the code, for returning at once.
    int32_t Fail(int32_t code, const char* message, const char* expression, int line)
    {
        if (!m_failed) {
            m_failed = true;
            assertFailedMsg(concatStrings("Animation file ", m_name, ": ", message), expression, __FILE__, line);
        }
        return code;
    }
    int ReadLine(uint32_t size);
    int32_t Open();
    int32_t ReadHierarchy();
    int32_t ReadRateModifier();
    int32_t ReadParts();
    CAnimNode* FindPart();
    bool ReadTrack(CAnimNode* node, Track* track);
    void ReadKeys(CAnimNode* node, const Track& track);

    CAnimData* data;
    const char* m_name;
    CFile m_file;
    std::unique_ptr<char[]> m_line;
    bool m_failed = false;
};

#define FAIL(code, message, expression) Fail((code), (message), (expression), __LINE__)

int CAnimFileReader::ReadLine(uint32_t size)
{
    uint32_t count = 0;
    char* line = m_line.get();
    if (!m_file.ReadLine(line, size, &count)) return LINE_END;
    // A line that fills the buffer would be read on as a second line and misread.
    const bool cut = count == size - 1 && line[count - 1] != '\n' && m_file.GetPosition() < m_file.GetSize();
    if (cut) {
        FAIL(ANIM_ERR_FILE, "a line too long", "!cut");
        return LINE_TOO_LONG;
    }
    return LINE_OK;
}

int32_t CAnimFileReader::Open()
{
    if (!m_file.Open(m_name, FILE_MODE_READ | FILE_MODE_BUFFERED))
        return FAIL(ANIM_ERR_FILE,
                    openFailureText(m_name, m_file.LastError(), "not found, or not a file that can be read").c_str(),
                    "m_file.Open()");
    if (ReadLine(FIRST_LINE_SIZE) != LINE_OK || !strstr(m_line.get(), "#HIERARCHY"))
        return FAIL(ANIM_ERR_FILE, "its first line is not #HIERARCHY", "strstr(line, \"#HIERARCHY\")");
    m_file.Seek(0, 0);
    return ANIM_OK;
}

int32_t CAnimFileReader::ReadHierarchy()
{
    char* line = m_line.get();
    if (ReadLine(FIRST_LINE_SIZE) != LINE_OK || !strstr(line, "#HIERARCHY"))
        return FAIL(ANIM_ERR_FILE, "its first line is not #HIERARCHY", "strstr(line, \"#HIERARCHY\")");
    bool first = true;
    bool rootDummy = false;
    for (;;) {
        const uint32_t start = m_file.GetPosition();
        const int read = ReadLine(LINE_SIZE);
        if (read == LINE_END) return FAIL(ANIM_ERR_FILE, "it ends inside its hierarchy", "read != LINE_END");
        if (read != LINE_OK) return ANIM_ERR_FILE;
        if (strstr(line, "#NAME") || strstr(line, "#RATEMODIFIER")) {
            m_file.Seek(0, static_cast<int32_t>(start));
            break;
        }
        const char* quote[4] = {};
        int count = 0;
        for (const char* p = line; *p; ++p)
            if (*p == '"' && count++ < 4) quote[count - 1] = p;
        if (count != 4) return FAIL(ANIM_ERR_FILE, "a hierarchy line without four double quotes", "count ==4");
        const bool dummy = strstr(line, "#DUMMY") != nullptr;
        if (first) {
            rootDummy = dummy;
            first = false;
            continue;
        }
        char name[CAnimNode::MAX_NAME];
        char parent[CAnimNode::MAX_NAME];
        copyQuoted(name, quote[0], quote[1]);
        copyQuoted(parent, quote[2], quote[3]);
        // The root is made by the first node, from its parent's name.
        if (data->Hierarchy.RootNode && !data->Hierarchy.FindNodeByName(parent))
            return FAIL(ANIM_ERR_FILE, "a node's parent is not in the hierarchy before it", "ParentNode");
        if (!data->Hierarchy.AddNode(name, parent, dummy, rootDummy)) return ANIM_ERR_FILE;
    }
    if (!data->Hierarchy.RootNode)
        return FAIL(ANIM_ERR_FILE, "it has no hierarchy", "data->Hierarchy.RootNode");
    return ANIM_OK;
}

int32_t CAnimFileReader::ReadRateModifier()
{
    char* line = m_line.get();
    const uint32_t start = m_file.GetPosition();
    const int read = ReadLine(LINE_SIZE);
    if (read == LINE_END) return FAIL(ANIM_ERR_NO_PARTS, "nothing follows its hierarchy", "read != LINE_END");
    if (read != LINE_OK) return ANIM_ERR_FILE;
    if (!strstr(line, "#RATEMODIFIER:")) {
        m_file.Seek(0, static_cast<int32_t>(start));
        return ANIM_OK;
    }
    sscanf(strchr(line, ':') + 1, "%f", &data->AnimFileSpeedModifier);
    ASSERT_MSG(this->data->AnimFileSpeedModifier!=0, "#RATEMODIFIER can not be zero");
    return ANIM_OK;
}

int32_t CAnimFileReader::ReadParts()
{
    char* line = m_line.get();
    if (ReadLine(LINE_SIZE) != LINE_OK || !strstr(line, "#NAME"))
        return FAIL(ANIM_ERR_FILE, "no #NAME line follows its hierarchy", "strstr(line, \"#NAME\")");
    for (;;) {
        CAnimNode* Part = FindPart();
        if (!Part) return FAIL(ANIM_ERR_TRACK, "a #NAME line names no node of the hierarchy", "Part");
        for (;;) {
            int read = ReadLine(LINE_SIZE);
            if (read == LINE_END) return ANIM_OK;
            if (read != LINE_OK) return ANIM_ERR_TRACK;
            if (strstr(line, "#NAME")) break;
            Track track;
            if (!ReadTrack(Part, &track)) return FAIL(ANIM_ERR_TRACK, "a line of a part is not a track", "#TRACK");
            read = ReadLine(LINE_SIZE);
            if (read == LINE_END) return ANIM_OK;
            if (read != LINE_OK) return ANIM_ERR_TRACK;
            ReadKeys(Part, track);
        }
    }
}

// "#NAME", a colon and the node's name in double quotes.
CAnimNode* CAnimFileReader::FindPart()
{
    const char* colon = strchr(m_line.get(), ':');
    const char* open = colon ? strchr(colon, '"') : nullptr;
    const char* close = open ? strchr(open + 1, '"') : nullptr;
    if (!close) return nullptr;
    char name[CAnimNode::MAX_NAME];
    copyQuoted(name, open, close);
    return data->Hierarchy.FindNodeByName(name);
}

bool CAnimFileReader::ReadTrack(CAnimNode* node, Track* track)
{
    const char* line = m_line.get();
    if (!strstr(line, "#TRACK")) return false;
    if (strstr(line, "#TRACK:POS"))
        track->channel = CAnimController::CHANNEL_TRANSLATION;
    else if (strstr(line, "#TRACK:ROT"))
        track->channel = CAnimController::CHANNEL_ROTATION;
    else if (strstr(line, "#TRACK:SCA"))
        track->channel = CAnimController::CHANNEL_SCALE;
    else
        return false;
    if (strstr(line, "#CONTROLLER:Captured"))
        track->kind = CAnimController::CONTROLLER_CAPTURED;
    else if (strstr(line, "#CONTROLLER:Linear"))
        track->kind = CAnimController::CONTROLLER_LINEAR;
    else
        return false;
    // One controller serves all tracks of a node: keys of another kind would not fit its tables.
    if (node->ControllerData && node->ControllerData->GetKind() != track->kind) {
        FAIL(ANIM_ERR_TRACK, "a node mixes captured and linear tracks",
             "!node->ControllerData || node->ControllerData->GetKind() == track->kind");
        return false;
    }

    node->ControllerKind = track->kind;
    node->FramePeriod = 0.0f;
    if (track->kind == CAnimController::CONTROLLER_CAPTURED) {
        float ticks = 0.0f;
        if (const char* rate = strstr(line, "#RATE:")) sscanf(rate + 6, "%f", &ticks);
        node->FramePeriod = ticks * data->AnimFileSpeedModifier * TICKS_TO_SECONDS;
    }
    if (!node->ControllerData) {
        if (track->kind == CAnimController::CONTROLLER_CAPTURED)
            node->ControllerData = new CCapturedController(node->FramePeriod);
        else
            node->ControllerData = new CLinearController;
    }
    return true;
}

void CAnimFileReader::ReadKeys(CAnimNode* node, const Track& track)
{
    const char* line = m_line.get();
    const int32_t frms = countKeys(line);
    if (!VERIFY(frms!=0)) return;

    if (track.kind == CAnimController::CONTROLLER_LINEAR) {
        auto* Controller = static_cast<CLinearController*>(node->ControllerData);
        auto raise = [node](float ms) {
            if (ms > node->LatestKeyTime) node->LatestKeyTime = ms;
        };
        auto vectorKey = [&](const Vector3& preset) {
            return [&, preset](const KeyText& text) {
                TLinearVectorKey key{preset, 0.0f};
                if (keyTime(text, &key.time)) key.value = vectorFrom(text.open + 1, preset);
                raise(key.time);
                return key;
            };
        };
        switch (track.channel) {
        case CAnimController::CHANNEL_TRANSLATION:
            fillChannel(Controller->TranslationData, "frms == Controller->TranslationData.GetTotalElements()", line,
                        frms, TLinearVectorKey{defaultTranslation(), 0.0f}, vectorKey(defaultTranslation()));
            break;
        case CAnimController::CHANNEL_SCALE:
            fillChannel(Controller->ScaleData, "frms == Controller->ScaleData.GetTotalElements()", line, frms,
                        TLinearVectorKey{defaultScale(), 0.0f}, vectorKey(defaultScale()));
            break;
        default:
            fillChannel(Controller->RotationData, "frms == Controller->RotationData.GetTotalElements()", line, frms,
                        TLinearQuatKey{defaultRotation(), 0.0f}, [&](const KeyText& text) {
                            TLinearQuatKey key{rotationFrom(""), 0.0f};
                            if (keyTime(text, &key.time)) key.value = rotationFrom(text.open + 1);
                            raise(key.time);
                            return key;
                        });
            break;
        }
        return;
    }

    auto* CaptureController = static_cast<CCapturedController*>(node->ControllerData);
    switch (track.channel) {
    case CAnimController::CHANNEL_TRANSLATION:
        fillChannel(CaptureController->TranslationData,
                    "frms == CaptureController->TranslationData.GetTotalElements()", line, frms, defaultTranslation(),
                    [](const KeyText& text) { return vectorFrom(text.open + 1, defaultTranslation()); });
        break;
    case CAnimController::CHANNEL_SCALE:
        fillChannel(CaptureController->ScaleData, "frms == CaptureController->ScaleData.GetTotalElements()", line,
                    frms, defaultScale(),
                    [](const KeyText& text) { return vectorFrom(text.open + 1, defaultScale()); });
        break;
    default:
        fillChannel(CaptureController->RotationData, "frms == CaptureController->RotationData.GetTotalElements()",
                    line, frms, defaultRotation(), [](const KeyText& text) { return rotationFrom(text.open + 1); });
        break;
    }
}

}  // namespace

int32_t loadAnimationFile(const char* fileName, CAnimData* data)
{
    // Every model instance that plays a file reads it: one that failed this run is not read
    // again, as its first reader has said why.
    if (fileFailedThisRun(fileName)) return ANIM_ERR_FILE;
    // A file of its own, also when a model or a level script being read asks for it.
    ReadingFile reading(fileName);
    CAnimFileReader reader(data, fileName);
    const int32_t result = reader.Load();
    if (result != ANIM_OK) noteFileFailure(fileName);
    return result;
}
