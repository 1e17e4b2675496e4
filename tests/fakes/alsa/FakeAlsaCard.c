/* A scripted sound card as an ALSA control plugin, so the mixer backend can
 * be tested on the real ALSA simple-mixer code without hardware. The test
 * routes "default" to it through its own asoundrc, loads this module itself
 * first (so its state outlives every mixer handle) and reads and changes the
 * values through the two exported functions at the end. A test that runs
 * the program in a process of its own names a file in TAVDJ_FAKE_CARD_LOG
 * instead: every value written is appended there as a line
 * "<monotonic ms>|<element>|<channel>|<value>". */
#include <alsa/asoundlib.h>
#include <alsa/control_external.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

struct FakeElement {
    const char* name;
    int type;
    unsigned count;
    long min;
    long max;
    const char* const* items;
    long value[2];
};

static const char* const kInputs[] = { "Mic", "Line", "Internal Mic" };

/* The PCM volume starts below zero so the fader's origin is exercised;
 * Line has no playback side, so that speakers row is missing. */
static struct FakeElement g_elements[] = {
    { "Master Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 31, NULL, { 31, 31 } },
    { "Master Playback Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, NULL, { 1, 1 } },
    { "PCM Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, -10, 20, NULL, { 0, 0 } },
    { "Mic Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 1, 0, 31, NULL, { 5, 0 } },
    { "Mic Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 63, NULL, { 10, 10 } },
    { "Line Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 63, NULL, { 20, 20 } },
    { "Line Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, NULL, { 1, 1 } },
    { "Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 63, NULL, { 30, 30 } },
    { "Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, NULL, { 1, 1 } },
    { "Input Source", SND_CTL_ELEM_TYPE_ENUMERATED, 1, 0, 2, kInputs, { 0, 0 } },
};
#define ELEMENT_COUNT ((int)(sizeof g_elements / sizeof g_elements[0]))

static struct FakeElement* Element(snd_ctl_ext_key_t key)
{
    return key < (snd_ctl_ext_key_t)ELEMENT_COUNT ? &g_elements[key] : NULL;
}

static int ElemCount(snd_ctl_ext_t* ext)
{
    (void)ext;
    return ELEMENT_COUNT;
}

static int ElemList(snd_ctl_ext_t* ext, unsigned offset, snd_ctl_elem_id_t* id)
{
    (void)ext;
    if (offset >= (unsigned)ELEMENT_COUNT)
        return -EINVAL;
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, g_elements[offset].name);
    return 0;
}

static snd_ctl_ext_key_t FindElem(snd_ctl_ext_t* ext, const snd_ctl_elem_id_t* id)
{
    (void)ext;
    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        if (strcmp(g_elements[i].name, snd_ctl_elem_id_get_name(id)) == 0)
            return (snd_ctl_ext_key_t)i;
    }
    return SND_CTL_EXT_KEY_NOT_FOUND;
}

static int GetAttribute(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, int* type, unsigned* acc, unsigned* count)
{
    (void)ext;
    struct FakeElement* e = Element(key);
    if (!e)
        return -EINVAL;
    *type = e->type;
    *acc = SND_CTL_EXT_ACCESS_READWRITE;
    *count = e->count;
    return 0;
}

static int GetIntegerInfo(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* imin, long* imax, long* istep)
{
    (void)ext;
    struct FakeElement* e = Element(key);
    if (!e)
        return -EINVAL;
    *imin = e->min;
    *imax = e->max;
    *istep = 1;
    return 0;
}

static int GetEnumeratedInfo(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned* items)
{
    (void)ext;
    struct FakeElement* e = Element(key);
    if (!e || !e->items)
        return -EINVAL;
    *items = (unsigned)(e->max + 1);
    return 0;
}

static int GetEnumeratedName(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned item, char* name, size_t max)
{
    (void)ext;
    struct FakeElement* e = Element(key);
    if (!e || !e->items || item > (unsigned)e->max || max == 0)
        return -EINVAL;
    strncpy(name, e->items[item], max - 1);
    name[max - 1] = 0;
    return 0;
}

static int ReadInteger(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value)
{
    (void)ext;
    struct FakeElement* e = Element(key);
    if (!e)
        return -EINVAL;
    for (unsigned i = 0; i < e->count; ++i)
        value[i] = e->value[i];
    return 0;
}

static void LogWrite(const struct FakeElement* e)
{
    const char* path = getenv("TAVDJ_FAKE_CARD_LOG");
    if (!path || !*path)
        return;
    FILE* log = fopen(path, "a");
    if (!log)
        return;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long ms = (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
    for (unsigned i = 0; i < e->count; ++i)
        fprintf(log, "%lld|%s|%u|%ld\n", ms, e->name, i, e->value[i]);
    fclose(log);
}

static int WriteInteger(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value)
{
    (void)ext;
    struct FakeElement* e = Element(key);
    if (!e)
        return -EINVAL;
    int changed = 0;
    for (unsigned i = 0; i < e->count; ++i) {
        if (value[i] < e->min || value[i] > e->max)
            return -EINVAL;
        changed |= e->value[i] != value[i];
        e->value[i] = value[i];
    }
    LogWrite(e);
    return changed;
}

static int ReadEnumerated(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned* items)
{
    (void)ext;
    struct FakeElement* e = Element(key);
    if (!e || !e->items)
        return -EINVAL;
    items[0] = (unsigned)e->value[0];
    return 0;
}

static int WriteEnumerated(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned* items)
{
    (void)ext;
    struct FakeElement* e = Element(key);
    if (!e || !e->items || items[0] > (unsigned)e->max)
        return -EINVAL;
    int changed = e->value[0] != (long)items[0];
    e->value[0] = (long)items[0];
    return changed;
}

static void SubscribeEvents(snd_ctl_ext_t* ext, int subscribe)
{
    (void)ext;
    (void)subscribe;
}

static int ReadEvent(snd_ctl_ext_t* ext, snd_ctl_elem_id_t* id, unsigned* mask)
{
    (void)ext;
    (void)id;
    (void)mask;
    return -EAGAIN;
}

struct FakeCard {
    snd_ctl_ext_t ext;
    int pipe[2];
};

static void Close(snd_ctl_ext_t* ext)
{
    struct FakeCard* card = ext->private_data;
    close(card->pipe[0]);
    close(card->pipe[1]);
    free(card);
}

static const snd_ctl_ext_callback_t kCallbacks = {
    .close = Close,
    .elem_count = ElemCount,
    .elem_list = ElemList,
    .find_elem = FindElem,
    .get_attribute = GetAttribute,
    .get_integer_info = GetIntegerInfo,
    .get_enumerated_info = GetEnumeratedInfo,
    .get_enumerated_name = GetEnumeratedName,
    .read_integer = ReadInteger,
    .read_enumerated = ReadEnumerated,
    .write_integer = WriteInteger,
    .write_enumerated = WriteEnumerated,
    .subscribe_events = SubscribeEvents,
    .read_event = ReadEvent,
};

/* How often the card was opened, for tests that count connections. */
static int g_opens;

SND_CTL_PLUGIN_DEFINE_FUNC(tavdjfake)
{
    (void)root;
    (void)conf;
    ++g_opens;
    struct FakeCard* card = calloc(1, sizeof *card);
    if (!card)
        return -ENOMEM;
    if (pipe(card->pipe) < 0) {
        free(card);
        return -errno;
    }
    card->ext.version = SND_CTL_EXT_VERSION;
    card->ext.card_idx = 0;
    strcpy(card->ext.id, "TavdjFake");
    strcpy(card->ext.driver, "TavdjFake");
    strcpy(card->ext.name, "Scripted Test Card");
    strcpy(card->ext.longname, "Scripted Test Card");
    strcpy(card->ext.mixername, "Scripted Test Card");
    card->ext.poll_fd = card->pipe[0];
    card->ext.callback = &kCallbacks;
    card->ext.private_data = card;
    int err = snd_ctl_ext_create(&card->ext, name, mode);
    if (err < 0) {
        Close(&card->ext);
        return err;
    }
    *handlep = card->ext.handle;
    return 0;
}
SND_CTL_PLUGIN_SYMBOL(tavdjfake);

/* For the test: one channel of an element, by its control name; -1000 when
 * there is no such element or channel. */
long tavdj_fake_card_get(const char* name, unsigned channel)
{
    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        if (strcmp(g_elements[i].name, name) == 0 && channel < g_elements[i].count)
            return g_elements[i].value[channel];
    }
    return -1000;
}

int tavdj_fake_card_opens(void)
{
    return g_opens;
}

void tavdj_fake_card_set(const char* name, unsigned channel, long value)
{
    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        if (strcmp(g_elements[i].name, name) == 0 && channel < g_elements[i].count)
            g_elements[i].value[channel] = value;
    }
}
