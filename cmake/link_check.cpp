// Linked with one module's every object and only the libraries that module declares: an
// undefined symbol here means the module uses code it does not link.
int main() {
    return 0;
}
