// Start-up stub: the dialog program is not written yet.
int main() {
    return 0;
}
