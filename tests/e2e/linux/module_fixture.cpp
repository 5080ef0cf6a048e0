// Small shared libraries standing in for the GTK module in its checks: a sound one, and one
// whose own dependency is nowhere the loader looks.
#ifdef TB_FIXTURE_NEEDS_ABSENT
int tb_fixture_absent();
int tb_fixture_entry() {
    return tb_fixture_absent();
}
#else
int tb_fixture_absent() {
    return 1;
}
#endif
