#include "net/Status.h"

#include "net/Text.h"

bool FindTunerSignal(const char* text, size_t length, jsmntok_t* tokens, unsigned capacity, const char* copy,
                     double* signalDb)
{
    JsonDoc doc;
    if (!ParseJsonObject(&doc, text, length, tokens, capacity))
        return false;
    int tuners = JsonMember(doc, 0, "tuners");
    if (!JsonIs(doc, tuners, JSMN_ARRAY))
        return false;
    int at = tuners + 1;
    for (int i = 0; i < doc.tokens[tuners].size; ++i) {
        char name[128];
        if (JsonText(doc, JsonMember(doc, at, "copy"), name, sizeof name) && SameText(name, copy))
            return JsonNumber(doc, JsonMember(doc, at, "signal_db"), signalDb);
        at = JsonNext(doc, at);
    }
    return false;
}
