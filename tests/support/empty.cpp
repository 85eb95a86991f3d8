// Placeholder so the support library always has a source.
namespace telmor::test {
void SupportLibraryAnchor() {}
}  // namespace telmor::test
