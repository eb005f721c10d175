/* A stand-in for a driver image: a native PE image that does nothing, with
   a version resource (StandInDriver.rc), built for each processor. */
unsigned long __stdcall DriverEntry(void *object, void *path)
{
    (void)object;
    (void)path;
    return 0;
}
