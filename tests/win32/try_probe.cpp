// Built only by the tests try_probe_dll and try_probe_linked, whose builds must
// fail here: the code of a DLL of this build cannot catch an exception.
int Probe(int value)
{
    try {
        return value;
    } catch (...) {
        return 0;
    }
}
