/**
 * Helpers shared by the packages of this library for finding and loading its native files.
 * Not part of the API: anything here may change without notice.
 */
package nl.tamsel.ftdi.internal;
