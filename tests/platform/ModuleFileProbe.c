/* A module for the module-file tests: its entry hands out a version number. */
struct Probe {
    int version;
};

static const struct Probe probe = {7};

__attribute__((visibility("default"))) const void* vistrel_probe_module(void)
{
    return &probe;
}
